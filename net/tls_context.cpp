#include "net/tls_context.h"

#include "net/socket_error.h"
#include "platform/socket_library.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <unordered_map>

namespace tls {
namespace {

// Sessions kept per context; the oldest server is forgotten first.
constexpr size_t kSessionCacheSize = 64;

thread_local int t_lastErrno = 0;

// ---------------------------------------------------------------- socket BIO

// A BIO on a socket descriptor that reads and writes through the socket
// function table: sends use MSG_NOSIGNAL (a peer that went away never raises
// SIGPIPE), and tests can replace recv and send as for plain sockets.
int descriptor(BIO* b)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b)));
}

bool retryable(int e)
{
    return e == EAGAIN || e == EWOULDBLOCK || e == EINTR;
}

int bioWrite(BIO* b, const char* data, int len)
{
    BIO_clear_retry_flags(b);
    const ssize_t n = platform::SocketLibrary::instance().send(
        descriptor(b), data, static_cast<size_t>(len), MSG_NOSIGNAL);
    t_lastErrno = 0;
    if (n < 0) {
        t_lastErrno = errno;
        if (retryable(t_lastErrno))
            BIO_set_retry_write(b);
    }
    return static_cast<int>(n);
}

int bioRead(BIO* b, char* buf, int len)
{
    BIO_clear_retry_flags(b);
    const ssize_t n =
        platform::SocketLibrary::instance().recv(descriptor(b), buf, static_cast<size_t>(len), 0);
    // 0 is the end of the stream: no error number, which tells it apart
    // from a failed call.
    t_lastErrno = 0;
    if (n < 0) {
        t_lastErrno = errno;
        if (retryable(t_lastErrno))
            BIO_set_retry_read(b);
    }
    return static_cast<int>(n);
}

long bioCtrl(BIO* b, int cmd, long num, void* ptr)
{
    switch (cmd) {
    case BIO_C_SET_FD:
        BIO_set_data(b, reinterpret_cast<void*>(static_cast<intptr_t>(*static_cast<int*>(ptr))));
        BIO_set_init(b, 1);
        return 1;
    case BIO_C_GET_FD:
        if (ptr)
            *static_cast<int*>(ptr) = descriptor(b);
        return descriptor(b);
    case BIO_CTRL_FLUSH:
    case BIO_CTRL_DUP:
        return 1;
    default:
        return 0;
    }
}

int bioCreate(BIO* b)
{
    BIO_set_data(b, reinterpret_cast<void*>(static_cast<intptr_t>(-1)));
    return 1;
}

int bioDestroy(BIO*)
{
    return 1; // the socket belongs to its owner
}

BIO_METHOD* socketMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket table");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        BIO_meth_set_destroy(m, bioDestroy);
        return m;
    }();
    return method;
}

// ------------------------------------------------------- contexts, sessions

struct Context {
    SSL_CTX* ctx = nullptr;
    std::mutex mutex;
    std::unordered_map<std::string, SSL_SESSION*> sessions;
    std::deque<std::string> order; // oldest first
};

// The context an SSL object was made from, kept with the context itself.
int contextIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int newSession(SSL* ssl, SSL_SESSION* session)
{
    const auto* key = static_cast<const std::string*>(SSL_get_app_data(ssl));
    auto* context =
        static_cast<Context*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), contextIndex()));
    if (!key || !context)
        return 0;
    std::lock_guard lock(context->mutex);
    SSL_SESSION*& slot = context->sessions[*key];
    if (slot) {
        SSL_SESSION_free(slot);
    } else {
        context->order.push_back(*key);
        if (context->order.size() > kSessionCacheSize) {
            const auto oldest = context->sessions.find(context->order.front());
            SSL_SESSION_free(oldest->second);
            context->sessions.erase(oldest);
            context->order.pop_front();
        }
    }
    slot = session;
    return 1; // the cache keeps the reference it was given
}

Context* makeContext(const std::string& caFile)
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(ctx);
    // A bundle that cannot be read adds nothing: its servers are then
    // reported as not trusted.
    if (!caFile.empty())
        SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr);
    ERR_clear_error();
    // A close without close_notify is an ordinary end of stream, as with
    // plain sockets; the HTTP layer judges whether the answer was complete.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Whole socket buffers per read instead of a header and a body call per
    // record.
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, newSession);
    auto* context = new Context;
    context->ctx = ctx;
    SSL_CTX_set_ex_data(ctx, contextIndex(), context);
    return context;
}

// The context for the trust store named by the environment now. Contexts
// live as long as the process; there is normally exactly one.
Context* currentContext()
{
    static std::mutex mutex;
    // Never destroyed, so the contexts stay reachable until the process ends.
    static auto& contexts = *new std::map<std::string, Context*>;
    const char* env = std::getenv("QUORVANE_CA_FILE");
    const std::string caFile = env ? env : "";
    std::lock_guard lock(mutex);
    Context*& context = contexts[caFile];
    if (!context)
        context = makeContext(caFile);
    return context;
}

std::string withoutBrackets(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

} // namespace

bool isIpLiteral(const std::string& host)
{
    const std::string h = withoutBrackets(host);
    unsigned char buf[sizeof(in6_addr)];
    return inet_pton(AF_INET, h.c_str(), buf) == 1 || inet_pton(AF_INET6, h.c_str(), buf) == 1;
}

int lastSocketErrno()
{
    return t_lastErrno;
}

ssl_st* newClientConnection(int fd, const std::string& serverName, const std::string* cacheKey)
{
    Context* context = currentContext();
    if (!context)
        return nullptr;
    SSL* ssl = SSL_new(context->ctx);
    BIO* bio = ssl ? BIO_new(socketMethod()) : nullptr;
    if (!bio) {
        SSL_free(ssl);
        ERR_clear_error();
        return nullptr;
    }
    BIO_set_fd(bio, fd, BIO_NOCLOSE);
    SSL_set_bio(ssl, bio, bio);
    SSL_set_connect_state(ssl);
    const std::string name = withoutBrackets(serverName);
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    if (isIpLiteral(name)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, name.c_str());
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, name.c_str(), name.size());
    }
    SSL_set_app_data(ssl, const_cast<std::string*>(cacheKey));
    if (cacheKey) {
        std::lock_guard lock(context->mutex);
        const auto it = context->sessions.find(*cacheKey);
        if (it != context->sessions.end())
            SSL_set_session(ssl, it->second);
    }
    return ssl;
}

void freeConnection(ssl_st* ssl, bool notifyPeer)
{
    if (!ssl)
        return;
    if (notifyPeer)
        SSL_shutdown(ssl);
    SSL_set_app_data(ssl, nullptr);
    SSL_free(ssl);
    ERR_clear_error();
}

int handshakeError(ssl_st* ssl, int sslError)
{
    int code = wsock::kTlsHandshakeFailed;
    if (sslError == SSL_ERROR_SYSCALL && t_lastErrno != 0 && ERR_peek_error() == 0) {
        code = wsock::errorFromErrno(t_lastErrno);
    } else if (sslError == SSL_ERROR_SSL) {
        switch (SSL_get_verify_result(ssl)) {
        case X509_V_OK:
            break;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
        case X509_V_ERR_EMAIL_MISMATCH:
            code = wsock::kTlsCertNameMismatch;
            break;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CRL_HAS_EXPIRED:
            code = wsock::kTlsCertExpired;
            break;
        case X509_V_ERR_CERT_NOT_YET_VALID:
        case X509_V_ERR_CRL_NOT_YET_VALID:
            code = wsock::kTlsCertNotYetValid;
            break;
        default:
            code = wsock::kTlsCertNotTrusted;
            break;
        }
    }
    ERR_clear_error();
    t_lastErrno = 0;
    return code;
}

int transferError(int sslError)
{
    int code = wsock::kTlsConnectionFailed;
    if (sslError == SSL_ERROR_ZERO_RETURN)
        code = 0;
    else if (sslError == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)
        // A failed call, or (without an error number) a close without
        // close_notify: an ordinary end of stream, as with plain sockets.
        code = t_lastErrno != 0 ? wsock::errorFromErrno(t_lastErrno) : 0;
    ERR_clear_error();
    t_lastErrno = 0;
    return code;
}

} // namespace tls
