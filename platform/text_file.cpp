#include "text_file.h"

#include "exception.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

[[noreturn]] void raiseFileError(const QString& path, const QFile& file)
{
    int code = errno != 0 ? errno : EIO;
    std::string reason = file.errorString().toStdString();
    throw EInOutError("Cannot access file \"" + path.toStdString() + "\". " + reason, code);
}

[[noreturn]] void raiseErrno(const QString& path, int code)
{
    throw EInOutError("Cannot write file \"" + path.toStdString() + "\". " + std::strerror(code),
                      code);
}

std::function<int(const QString&)>& writeFaultHook()
{
    static std::function<int(const QString&)> hook;
    return hook;
}

} // namespace

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        lines.emplace_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> readTextLines(const QString& path)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        raiseFileError(path, file);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        raiseFileError(path, file);
    return splitLines(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

void writeTextLines(const QString& path, const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    replaceFile(path, bytes);
}

void setWriteFaultHook(std::function<int(const QString& path)> hook)
{
    writeFaultHook() = std::move(hook);
}

void replaceFile(const QString& path, std::string_view bytes, unsigned newFileMode)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray pattern = target + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        raiseErrno(path, errno);
    // The new file is removed again unless it took the old one's place.
    struct Pending {
        int fd;
        const char* name;
        bool renamed = false;
        ~Pending()
        {
            if (fd >= 0)
                ::close(fd);
            if (!renamed)
                ::unlink(name);
        }
    } pending{fd, pattern.constData()};

    struct stat old = {};
    const mode_t mode = ::stat(target.constData(), &old) == 0
                            ? old.st_mode & 07777
                            : static_cast<mode_t>(newFileMode & 07777);
    if (::fchmod(fd, mode) != 0)
        raiseErrno(path, errno);
    if (const auto& hook = writeFaultHook()) {
        if (int fault = hook(path))
            raiseErrno(path, fault);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            raiseErrno(path, errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0)
        raiseErrno(path, errno);
    const int closed = ::close(pending.fd);
    pending.fd = -1;
    if (closed != 0)
        raiseErrno(path, errno);
    if (::rename(pattern.constData(), target.constData()) != 0)
        raiseErrno(path, errno);
    pending.renamed = true;
    // The rename itself lives in the folder; flushing the folder makes it
    // last as well.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace platform
