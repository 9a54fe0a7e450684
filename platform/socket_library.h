#pragma once

#include "platform/exception.h"

#include <array>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>

// Raised by the socket layer for misuse detected at a call and for a sockets
// library that cannot be loaded. Declared here, below the network layer, so
// that the function table can raise it too.
class ESocketException : public Exception {
public:
    using Exception::Exception;
};

namespace platform {

// The table of system socket functions the network layer calls. Nothing is
// linked against them directly: the C library is opened by name on the first
// call of any function, a start-up routine runs at once, and each function is
// looked up by name on its own first call and kept for later calls. Every
// live socket object holds a use of the table; when the last one goes away
// the library is closed and every stored address is forgotten, so the next
// socket binds everything afresh.
//
// Tests can replace a function by name (to make it fail on purpose), hide a
// name (to see the "not found" path) or point the table at another library
// name (to see the "unable to load" path).
//
// Not thread-safe: the table belongs to the thread that runs the sockets.
// Functions a worker thread needs (the resolver) are fetched from the table
// on the owning thread and handed over as plain pointers.
class SocketLibrary {
public:
    // Every function the table binds, in the order of kFunctionNames.
    enum Function {
        fnStartup, // resolver start-up (__res_init); a non-zero result fails the load
        fnSocket,
        fnConnect,
        fnBind,
        fnListen,
        fnAccept,
        fnSend,
        fnSendTo,
        fnRecv,
        fnRecvFrom,
        fnShutdown,
        fnSetSockOpt,
        fnGetSockOpt,
        fnGetSockName,
        fnGetPeerName,
        fnClose,
        fnIoctl,
        fnFcntl,
        fnPoll,
        fnGetAddrInfo,
        fnFreeAddrInfo,
        fnGetNameInfo,
        fnGetServByName,
        fnGetProtoByName,
        fnInetAddr,
        fnInetNtoa,
        fnHtons,
        fnNtohs,
        kFunctionCount
    };
    static const std::array<const char*, kFunctionCount> kFunctionNames;
    static constexpr const char* kDefaultLibraryName = "libc.so.6";

    static SocketLibrary& instance();

    // Process-wide count of live socket objects. The library is released
    // when the count falls back to zero.
    void addUser();
    void removeUser();
    int users() const { return m_users; }

    bool isLoaded() const { return m_handle != nullptr; }
    // How many times the library has been loaded since the process started.
    int loadCount() const { return m_loadCount; }
    const std::string& libraryName() const { return m_libraryName; }

    // Closes the library and forgets every bound address (also done at
    // program exit).
    void release();

    // The bound functions. Each raises ESocketException when the library or
    // the function cannot be bound; otherwise it behaves as the C function.
    int socket(int domain, int type, int protocol);
    int connect(int fd, const sockaddr* addr, socklen_t len);
    int bind(int fd, const sockaddr* addr, socklen_t len);
    int listen(int fd, int backlog);
    int accept(int fd, sockaddr* addr, socklen_t* len);
    ssize_t send(int fd, const void* buf, size_t len, int flags);
    ssize_t sendto(int fd, const void* buf, size_t len, int flags, const sockaddr* addr,
                   socklen_t addrLen);
    ssize_t recv(int fd, void* buf, size_t len, int flags);
    ssize_t recvfrom(int fd, void* buf, size_t len, int flags, sockaddr* addr, socklen_t* addrLen);
    int shutdown(int fd, int how);
    int setsockopt(int fd, int level, int name, const void* value, socklen_t len);
    int getsockopt(int fd, int level, int name, void* value, socklen_t* len);
    int getsockname(int fd, sockaddr* addr, socklen_t* len);
    int getpeername(int fd, sockaddr* addr, socklen_t* len);
    int close(int fd);
    int ioctl(int fd, unsigned long request, int* value);
    int fcntl(int fd, int command, int value);
    int poll(pollfd* fds, nfds_t count, int timeout);
    int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                    addrinfo** result);
    void freeaddrinfo(addrinfo* result);
    int getnameinfo(const sockaddr* addr, socklen_t len, char* host, socklen_t hostLen, char* serv,
                    socklen_t servLen, int flags);
    servent* getservbyname(const char* name, const char* proto);
    protoent* getprotobyname(const char* name);
    in_addr_t inet_addr(const char* text);
    char* inet_ntoa(in_addr addr);
    uint16_t hostToNet16(uint16_t value); // htons
    uint16_t netToHost16(uint16_t value); // ntohs

    // The number of a protocol named in the system's protocols database,
    // or -1 when it has none. getprotobyname rereads the database file on
    // every call, several system calls each time; a number found is kept
    // for the life of the process, across releases of the library (the
    // database does not change under a running program). Thread-safe.
    int protocolNumber(const std::string& name);

    // Address of a bound function, binding it first. Used to hand the
    // resolver functions to a worker thread.
    void* address(Function function);

    // Test hooks. An override replaces the named function from its next
    // binding on (and at once when already bound); nullptr restores it.
    void setOverride(Function function, void* replacement);
    // A hidden function is reported as not found by its next binding.
    void setHidden(Function function, bool hidden);
    void setLibraryName(const std::string& name);
    void clearTestHooks();

private:
    SocketLibrary() = default;
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;

    void load();
    void forgetProtocolNumbers();
    template <typename F> F bound(Function function)
    {
        return reinterpret_cast<F>(address(function));
    }

    std::string m_libraryName = kDefaultLibraryName;
    void* m_handle = nullptr;
    int m_users = 0;
    int m_loadCount = 0;
    std::array<void*, kFunctionCount> m_addresses{};
    std::array<void*, kFunctionCount> m_overrides{};
    std::array<bool, kFunctionCount> m_hidden{};
    std::mutex m_protocolMutex;
    std::map<std::string, int> m_protocolNumbers;
};

} // namespace platform
