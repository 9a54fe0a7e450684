#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dbf {

// One open file of the engine. Reads and writes are positional and report
// how much was transferred, so callers can turn a short transfer into their
// own error code. Byte-range locks are open-file-description locks, so two
// handles in one process exclude each other just like two programs do.
class PosixFile {
public:
    enum class Sharing { Exclusive, Shared, Unguarded };

    PosixFile() = default;
    ~PosixFile();
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;

    // Opens an existing file read/write. Exclusive and Shared take a whole
    // file advisory lock so that an exclusive user and any other user
    // exclude each other. Returns 0 or an error code of the engine (2 not
    // found, 5 access denied, 32 sharing violation).
    int open(const std::string& path, Sharing sharing);
    // Creates or truncates a file read/write. Returns 0 or an error code.
    int create(const std::string& path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    size_t readAt(uint64_t offset, void* data, size_t size) const;
    size_t writeAt(uint64_t offset, const void* data, size_t size);
    bool readExact(uint64_t offset, void* data, size_t size) const
    {
        return readAt(offset, data, size) == size;
    }
    bool writeExact(uint64_t offset, const void* data, size_t size)
    {
        return writeAt(offset, data, size) == size;
    }
    uint64_t size() const;
    bool truncate(uint64_t size);
    bool flush();

    // Non-blocking byte-range locks; true on success.
    bool lockRange(uint64_t offset, uint64_t length);
    bool unlockRange(uint64_t offset, uint64_t length);

private:
    int m_fd = -1;
    std::string m_path;
};

// Free bytes for unprivileged users on the file system holding `path`
// (a file or a directory); UINT64_MAX when it cannot be told.
uint64_t freeDiskSpace(const std::string& path);

// Maps an errno value to the engine's operating-system style code.
int errorCodeFromErrno(int error);

bool fileExists(const std::string& path);

} // namespace dbf
