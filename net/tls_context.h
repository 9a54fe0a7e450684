#pragma once

#include <string>

struct ssl_st;

// Client TLS for the socket layer: one context per trust store (the system
// store, plus the PEM bundle named by QUORVANE_CA_FILE when set), made on
// first use and kept for the life of the process, and a small cache of
// sessions per context so that the next connection to a server resumes.
namespace tls {

// A client connection on the stream socket `fd`, set up to verify the peer
// against `serverName` (a DNS name, or an IPv4/IPv6 literal, brackets
// allowed) and to resume the session last kept under `cacheKey`. The key
// string must outlive the connection. Reads and writes go through the socket
// function table. Returns nullptr when TLS cannot be set up.
ssl_st* newClientConnection(int fd, const std::string& serverName, const std::string* cacheKey);

// Frees a connection made by newClientConnection. With `notifyPeer` a
// close_notify alert is sent first (without waiting for the peer's).
void freeConnection(ssl_st* ssl, bool notifyPeer);

// Socket error number for a failed handshake step; `sslError` is the result
// of SSL_get_error.
int handshakeError(ssl_st* ssl, int sslError);

// Socket error number for a read or write that failed after the handshake
// (0: the peer ended the session in order).
int transferError(int sslError);

// True for an IPv4 or IPv6 address literal (IPv6 with or without brackets).
bool isIpLiteral(const std::string& host);

// The errno value of the last failed socket call made for TLS on this thread.
int lastSocketErrno();

} // namespace tls
