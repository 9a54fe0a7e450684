#include "text_file.h"

#include "exception.h"

#include <QFile>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

[[noreturn]] void raiseFileError(const QString& path, const QFile& file)
{
    int code = errno != 0 ? errno : EIO;
    std::string reason = file.errorString().toStdString();
    throw EInOutError("Cannot access file \"" + path.toStdString() + "\". " + reason, code);
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
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        raiseFileError(path, file);
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.flush())
        raiseFileError(path, file);
}

} // namespace platform
