#include "dbf/posix_file.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace dbf {

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
    return ::ftruncate(m_fd, off_t(size)) == 0;
}

bool PosixFile::flush()
{
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

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace dbf
