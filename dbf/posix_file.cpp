#include "dbf/posix_file.h"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace dbf {

namespace fault {
namespace {
struct Plan {
    Kind kind = Kind::Any;
    long nth = 0;
    Action action = Action::None;
    std::array<long, 7> counts{};
};
Plan& plan()
{
    static Plan p;
    return p;
}
} // namespace

void set(Kind kind, long nth, Action action)
{
    Plan& p = plan();
    p.kind = kind;
    p.nth = nth;
    p.action = action;
    p.counts.fill(0);
}

void clear()
{
    set(Kind::Any, 0, Action::None);
}

bool setFromEnvironment()
{
    const char* value = std::getenv("QUORVANE_FAULT");
    if (!value || !*value)
        return true;
    const std::string text = value;
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos)
        return false;
    static const char* const kKinds[] = {"write",    "sync",   "rename", "unlink",
                                         "truncate", "create", "any"};
    static const char* const kActions[] = {"", "enospc", "eio", "kill"};
    const std::string kindWord = text.substr(0, first);
    const std::string actionWord = text.substr(second + 1);
    int kind = -1, action = -1;
    for (int i = 0; i < 7; ++i)
        if (kindWord == kKinds[i])
            kind = i;
    for (int i = 1; i < 4; ++i)
        if (actionWord == kActions[i])
            action = i;
    char* end = nullptr;
    const long nth = std::strtol(text.c_str() + first + 1, &end, 10);
    if (kind < 0 || action < 0 || nth < 1 || end != text.c_str() + second)
        return false;
    set(Kind(kind), nth, Action(action));
    return true;
}

long calls(Kind kind)
{
    return plan().counts[size_t(kind)];
}

bool pass(Kind kind)
{
    Plan& p = plan();
    ++p.counts[size_t(kind)];
    ++p.counts[size_t(Kind::Any)];
    if (p.action == Action::None || p.counts[size_t(p.kind)] != p.nth ||
        (p.kind != Kind::Any && p.kind != kind))
        return true;
    switch (p.action) {
    case Action::Kill:
        ::kill(::getpid(), SIGKILL);
        ::_exit(137); // not reached
    case Action::NoSpace:
        errno = ENOSPC;
        return false;
    default:
        errno = EIO;
        return false;
    }
}
} // namespace fault

PosixFile::~PosixFile()
{
    close();
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

int errorCodeFromErrno(int error)
{
    switch (error) {
    case ENOENT:
        return 2;
    case ENOTDIR:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return 5;
    case EWOULDBLOCK:
        return 32;
    case ENOSPC:
        return 101;
    default:
        return 100;
    }
}

int PosixFile::open(const std::string& path, Sharing sharing)
{
    close();
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return errorCodeFromErrno(errno);
    if (sharing != Sharing::Unguarded) {
        const int mode = sharing == Sharing::Exclusive ? LOCK_EX : LOCK_SH;
        if (::flock(fd, mode | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? 32 : errorCodeFromErrno(error);
        }
    }
    m_fd = fd;
    m_path = path;
    return 0;
}

int PosixFile::create(const std::string& path)
{
    close();
    if (!fault::pass(fault::Kind::Create))
        return errorCodeFromErrno(errno);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errorCodeFromErrno(errno);
    m_fd = fd;
    m_path = path;
    return 0;
}

void PosixFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

size_t PosixFile::readAt(uint64_t offset, void* data, size_t size) const
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(m_fd, static_cast<char*>(data) + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return done;
}

size_t PosixFile::writeAt(uint64_t offset, const void* data, size_t size)
{
    if (!fault::pass(fault::Kind::Write))
        return 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(m_fd, static_cast<const char*>(data) + done, size - done,
                                   off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return done;
}

uint64_t PosixFile::size() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return 0;
    return uint64_t(st.st_size);
}

bool PosixFile::truncate(uint64_t size)
{
    if (!fault::pass(fault::Kind::Truncate))
        return false;
    return ::ftruncate(m_fd, off_t(size)) == 0;
}

bool PosixFile::flush()
{
    if (!fault::pass(fault::Kind::Sync))
        return false;
    return ::fsync(m_fd) == 0;
}

namespace {
bool rangeLock(int fd, short type, uint64_t offset, uint64_t length)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = off_t(offset);
    lock.l_len = off_t(length);
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}
} // namespace

bool PosixFile::lockRange(uint64_t offset, uint64_t length)
{
    return rangeLock(m_fd, F_WRLCK, offset, length);
}

bool PosixFile::unlockRange(uint64_t offset, uint64_t length)
{
    return rangeLock(m_fd, F_UNLCK, offset, length);
}

uint64_t freeDiskSpace(const std::string& path)
{
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0)
        return UINT64_MAX;
    return uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
}

bool stampOf(const std::string& path, FileStamp& stamp)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    stamp.size = uint64_t(st.st_size);
    stamp.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ctimeNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp.device = uint64_t(st.st_dev);
    stamp.inode = uint64_t(st.st_ino);
    return true;
}

bool renameFile(const std::string& from, const std::string& to)
{
    if (!fault::pass(fault::Kind::Rename))
        return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const std::string& path)
{
    if (!fileExists(path))
        return true;
    if (!fault::pass(fault::Kind::Unlink))
        return false;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool syncPath(const std::string& path)
{
    if (!fault::pass(fault::Kind::Sync))
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool syncDirectoryOf(const std::string& path)
{
    return syncPath(directoryOf(path));
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace dbf
