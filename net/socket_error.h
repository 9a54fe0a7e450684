#pragma once

#include <string>

// The socket layer reports errors with the Windows Sockets error numbers
// (10004 ... 11004) that callers and the submission log already know. The
// system's errno values and resolver results are translated to them here.
namespace wsock {

constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// TLS failures, numbered after the SOCKS codes (20001-20006) and below
// kUnmappedErrnoBase.
constexpr int kTlsHandshakeFailed = 21001;
constexpr int kTlsCertNotTrusted = 21002;
constexpr int kTlsCertNameMismatch = 21003;
constexpr int kTlsCertExpired = 21004;
constexpr int kTlsCertNotYetValid = 21005;
// A TLS failure after the handshake (a bad record, an alert from the peer).
constexpr int kTlsConnectionFailed = 21006;
// TLS could not be set up at all (no context, no memory).
constexpr int kTlsSetupFailed = 21007;

// errno values without a socket error number of their own are reported as
// this base plus the errno value ("Not a WinSock error").
constexpr int kUnmappedErrnoBase = 30000;

// Socket error number for an errno value (0 stays 0).
int errorFromErrno(int errnoValue);
// Socket error number for a getaddrinfo/getnameinfo result; EAI_SYSTEM uses
// the errno value given.
int errorFromResolver(int result, int errnoValue);

} // namespace wsock

// The text of a socket error number; "Not a WinSock error" for any number
// the table does not know.
std::string SocketErrorDesc(int error);
