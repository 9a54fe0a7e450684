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

// The identity and state of a file on disk, to tell whether anybody changed
// it since it was last looked at.
struct FileStamp {
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};
// False when the file cannot be looked at.
bool stampOf(const std::string& path, FileStamp& stamp);

// File-changing calls outside an open file. Each goes through the fault hook
// below, like the calls of PosixFile.
bool renameFile(const std::string& from, const std::string& to);
// True when the file is gone afterwards (also when it was never there).
bool removeFile(const std::string& path);
// Forces a file, or the entries of a directory, to disk.
bool syncPath(const std::string& path);
bool syncDirectoryOf(const std::string& path);
std::string directoryOf(const std::string& path);

// A test hook in the file layer: the Nth file-changing call of one kind (or
// of any kind) fails with ENOSPC or EIO, or kills the process at that point,
// before the call is made. Set by tests directly, or for a child process
// through the environment variable QUORVANE_FAULT = "KIND:N:ACTION" with KIND
// one of write, sync, rename, unlink, truncate, create, any and ACTION one of
// enospc, eio, kill (for example "write:7:kill"). Counting starts when the
// plan is set.
namespace fault {
enum class Kind { Write, Sync, Rename, Unlink, Truncate, Create, Any };
enum class Action { None, NoSpace, IoError, Kill };
void set(Kind kind, long nth, Action action);
void clear();
// Reads QUORVANE_FAULT; false when it is set but cannot be understood.
bool setFromEnvironment();
// Calls of each kind made since the plan was set (Any counts them all).
long calls(Kind kind);
// Counts one call; returns false with errno set when it is to fail, and
// does not return when the process is to die here.
bool pass(Kind kind);
} // namespace fault

// Free bytes for unprivileged users on the file system holding `path`
// (a file or a directory); UINT64_MAX when it cannot be told.
uint64_t freeDiskSpace(const std::string& path);

// Maps an errno value to the engine's operating-system style code.
int errorCodeFromErrno(int error);

bool fileExists(const std::string& path);

} // namespace dbf
