#pragma once
// The interface's transport, on libmicrohttpd, a server library made to face a network: it
// reads each request within limits it sets while it reads (the head's size, the body's
// declared length, the time to deliver a request and between requests, connections in all and
// per address), refuses what is framed ambiguously, hands the rest to the router as a plain
// Request, and writes the Reply back. Requests are answered on the library's own thread.

#include <QHostAddress>
#include <QString>
#include <memory>
#include <optional>
#include <variant>

#include "http/TlsPair.h"

namespace telvane::http {

class ApiRouter;

struct ListenerLimits {
    int maxConnections = 256;            ///< open at once; one more is closed as soon as it comes
    int maxConnectionsPerClient = 64;    ///< likewise, from one address
    qsizetype maxHeadBytes = 16 * 1024;  ///< request line and headers: beyond, 431
    qsizetype maxBodyBytes = 64 * 1024;  ///< the declared Content-Length: beyond, 413
    int requestSeconds = 10;             ///< to deliver a whole request, from its first byte
    int idleSeconds = 60;                ///< between two requests on one connection
};

class HttpListener {
public:
    HttpListener(ApiRouter& router, ListenerLimits limits);
    /// Stops listening, closes every connection and waits for the library's threads.
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    /// Listens on `address:port` (HTTPS with `tls`); the port taken (port 0 picks one), or why
    /// not, as a sentence for the operator.
    std::variant<quint16, QString> start(const QHostAddress& address, quint16 port,
                                         const std::optional<TlsPair>& tls);

    class Daemon;

private:
    std::unique_ptr<Daemon> m_daemon;
};

}  // namespace telvane::http
