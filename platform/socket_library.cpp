#include "platform/socket_library.h"

#include <cerrno>
#include <dlfcn.h>
#include <sys/ioctl.h>

namespace platform {

namespace {

// dlsym does not set errno; this is the number reported for a missing name.
constexpr int kProcedureNotFound = ENOSYS;

} // namespace

const std::array<const char*, SocketLibrary::kFunctionCount> SocketLibrary::kFunctionNames = {
    "__res_init", "socket",      "connect",      "bind",        "listen",        "accept",
    "send",       "sendto",      "recv",         "recvfrom",    "shutdown",      "setsockopt",
    "getsockopt", "getsockname", "getpeername",  "close",       "ioctl",         "fcntl",
    "poll",       "getaddrinfo", "freeaddrinfo", "getnameinfo", "getservbyname", "getprotobyname",
    "inet_addr",  "inet_ntoa",   "htons",        "ntohs"};

SocketLibrary& SocketLibrary::instance()
{
    // Destroyed at program exit, which releases the library as well.
    static SocketLibrary library;
    return library;
}

SocketLibrary::~SocketLibrary()
{
    release();
}

void SocketLibrary::addUser()
{
    ++m_users;
}

void SocketLibrary::removeUser()
{
    if (m_users > 0 && --m_users == 0)
        release();
}

void SocketLibrary::release()
{
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
    m_addresses.fill(nullptr);
}

void SocketLibrary::load()
{
    errno = 0;
    void* handle = dlopen(m_libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const int code = errno ? errno : ENOENT;
        throw ESocketException("Unable to load " + m_libraryName + " Error #" +
                               std::to_string(code));
    }
    m_handle = handle;
    ++m_loadCount;
    using StartupFn = int (*)();
    const int code = bound<StartupFn>(fnStartup)();
    if (code != 0) {
        release();
        throw ESocketException(m_libraryName + ": WSAStartup error #" + std::to_string(code));
    }
}

void* SocketLibrary::address(Function function)
{
    if (!m_handle)
        load();
    void*& slot = m_addresses[function];
    if (slot)
        return slot;
    const char* name = kFunctionNames[function];
    void* found = m_hidden[function] ? nullptr : dlsym(m_handle, name);
    if (!found)
        throw ESocketException(std::string("Procedure ") + name + " not found in " + m_libraryName +
                               " Error #" + std::to_string(kProcedureNotFound));
    slot = m_overrides[function] ? m_overrides[function] : found;
    return slot;
}

int SocketLibrary::protocolNumber(const std::string& name)
{
    std::lock_guard lock(m_protocolMutex);
    const auto known = m_protocolNumbers.find(name);
    if (known != m_protocolNumbers.end())
        return known->second;
    const protoent* entry = getprotobyname(name.c_str());
    if (!entry)
        return -1;
    m_protocolNumbers.emplace(name, entry->p_proto);
    return entry->p_proto;
}

// A test hook that changes how protocols are looked up must be seen by the
// next lookup.
void SocketLibrary::forgetProtocolNumbers()
{
    std::lock_guard lock(m_protocolMutex);
    m_protocolNumbers.clear();
}

void SocketLibrary::setOverride(Function function, void* replacement)
{
    m_overrides[function] = replacement;
    m_addresses[function] = nullptr;
    forgetProtocolNumbers();
}

void SocketLibrary::setHidden(Function function, bool hidden)
{
    m_hidden[function] = hidden;
    m_addresses[function] = nullptr;
    forgetProtocolNumbers();
}

void SocketLibrary::setLibraryName(const std::string& name)
{
    release();
    m_libraryName = name;
    forgetProtocolNumbers();
}

void SocketLibrary::clearTestHooks()
{
    m_overrides.fill(nullptr);
    m_hidden.fill(false);
    if (m_libraryName != kDefaultLibraryName)
        setLibraryName(kDefaultLibraryName);
    m_addresses.fill(nullptr);
    forgetProtocolNumbers();
}

int SocketLibrary::socket(int domain, int type, int protocol)
{
    return bound<int (*)(int, int, int)>(fnSocket)(domain, type, protocol);
}

int SocketLibrary::connect(int fd, const sockaddr* addr, socklen_t len)
{
    return bound<int (*)(int, const sockaddr*, socklen_t)>(fnConnect)(fd, addr, len);
}

int SocketLibrary::bind(int fd, const sockaddr* addr, socklen_t len)
{
    return bound<int (*)(int, const sockaddr*, socklen_t)>(fnBind)(fd, addr, len);
}

int SocketLibrary::listen(int fd, int backlog)
{
    return bound<int (*)(int, int)>(fnListen)(fd, backlog);
}

int SocketLibrary::accept(int fd, sockaddr* addr, socklen_t* len)
{
    return bound<int (*)(int, sockaddr*, socklen_t*)>(fnAccept)(fd, addr, len);
}

ssize_t SocketLibrary::send(int fd, const void* buf, size_t len, int flags)
{
    return bound<ssize_t (*)(int, const void*, size_t, int)>(fnSend)(fd, buf, len, flags);
}

ssize_t SocketLibrary::sendto(int fd, const void* buf, size_t len, int flags, const sockaddr* addr,
                              socklen_t addrLen)
{
    using Fn = ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t);
    return bound<Fn>(fnSendTo)(fd, buf, len, flags, addr, addrLen);
}

ssize_t SocketLibrary::recv(int fd, void* buf, size_t len, int flags)
{
    return bound<ssize_t (*)(int, void*, size_t, int)>(fnRecv)(fd, buf, len, flags);
}

ssize_t SocketLibrary::recvfrom(int fd, void* buf, size_t len, int flags, sockaddr* addr,
                                socklen_t* addrLen)
{
    using Fn = ssize_t (*)(int, void*, size_t, int, sockaddr*, socklen_t*);
    return bound<Fn>(fnRecvFrom)(fd, buf, len, flags, addr, addrLen);
}

int SocketLibrary::shutdown(int fd, int how)
{
    return bound<int (*)(int, int)>(fnShutdown)(fd, how);
}

int SocketLibrary::setsockopt(int fd, int level, int name, const void* value, socklen_t len)
{
    using Fn = int (*)(int, int, int, const void*, socklen_t);
    return bound<Fn>(fnSetSockOpt)(fd, level, name, value, len);
}

int SocketLibrary::getsockopt(int fd, int level, int name, void* value, socklen_t* len)
{
    using Fn = int (*)(int, int, int, void*, socklen_t*);
    return bound<Fn>(fnGetSockOpt)(fd, level, name, value, len);
}

int SocketLibrary::getsockname(int fd, sockaddr* addr, socklen_t* len)
{
    return bound<int (*)(int, sockaddr*, socklen_t*)>(fnGetSockName)(fd, addr, len);
}

int SocketLibrary::getpeername(int fd, sockaddr* addr, socklen_t* len)
{
    return bound<int (*)(int, sockaddr*, socklen_t*)>(fnGetPeerName)(fd, addr, len);
}

int SocketLibrary::close(int fd)
{
    return bound<int (*)(int)>(fnClose)(fd);
}

int SocketLibrary::ioctl(int fd, unsigned long request, int* value)
{
    // ioctl is variadic in the C library; the pointer travels as its third
    // argument.
    return bound<int (*)(int, unsigned long, ...)>(fnIoctl)(fd, request, value);
}

int SocketLibrary::fcntl(int fd, int command, int value)
{
    return bound<int (*)(int, int, ...)>(fnFcntl)(fd, command, value);
}

int SocketLibrary::poll(pollfd* fds, nfds_t count, int timeout)
{
    return bound<int (*)(pollfd*, nfds_t, int)>(fnPoll)(fds, count, timeout);
}

int SocketLibrary::getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                               addrinfo** result)
{
    using Fn = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    return bound<Fn>(fnGetAddrInfo)(node, service, hints, result);
}

void SocketLibrary::freeaddrinfo(addrinfo* result)
{
    bound<void (*)(addrinfo*)>(fnFreeAddrInfo)(result);
}

int SocketLibrary::getnameinfo(const sockaddr* addr, socklen_t len, char* host, socklen_t hostLen,
                               char* serv, socklen_t servLen, int flags)
{
    using Fn = int (*)(const sockaddr*, socklen_t, char*, socklen_t, char*, socklen_t, int);
    return bound<Fn>(fnGetNameInfo)(addr, len, host, hostLen, serv, servLen, flags);
}

servent* SocketLibrary::getservbyname(const char* name, const char* proto)
{
    return bound<servent* (*)(const char*, const char*)>(fnGetServByName)(name, proto);
}

protoent* SocketLibrary::getprotobyname(const char* name)
{
    return bound<protoent* (*)(const char*)>(fnGetProtoByName)(name);
}

in_addr_t SocketLibrary::inet_addr(const char* text)
{
    return bound<in_addr_t (*)(const char*)>(fnInetAddr)(text);
}

char* SocketLibrary::inet_ntoa(in_addr addr)
{
    return bound<char* (*)(in_addr)>(fnInetNtoa)(addr);
}

uint16_t SocketLibrary::hostToNet16(uint16_t value)
{
    return bound<uint16_t (*)(uint16_t)>(fnHtons)(value);
}

uint16_t SocketLibrary::netToHost16(uint16_t value)
{
    return bound<uint16_t (*)(uint16_t)>(fnNtohs)(value);
}

} // namespace platform
