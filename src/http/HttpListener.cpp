#include "http/HttpListener.h"

#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "http/ApiRouter.h"
#include "http/ConnectionDeadlines.h"
#include "http/HttpRequest.h"
#include "http/ReceivedBytes.h"

namespace telvane::http {

namespace {

// What the sweeper's look at the connections costs is a few system calls; four looks a second
// close a connection within a quarter of a second of its time.
constexpr auto kSweepPeriod = std::chrono::milliseconds(250);

// The library's per-connection pool holds the head, the read buffer and the answer's head; a
// little above the head's limit, so that a head just over it is still read and answered with
// our own 431. A head too large even for the pool is refused by the library itself.
std::size_t poolBytes(qsizetype maxHead) { return static_cast<std::size_t>(maxHead) + 8192; }

Reply badFraming(const QString& why) {
    return Reply::error(400, QStringLiteral("bad_framing"),
                        QStringLiteral("Запрос оформлен неоднозначно: ") + why + u'.');
}

// RFC 9112 (section 6): a head that frames its body two ways, or names two lengths or two
// hosts, could be read differently by a proxy in front of us. Bodies come with a
// Content-Length only, so that the 64 KB limit holds before any of one is read.
std::optional<Reply> framingRefusal(const Request& head) {
    int lengths = 0, hosts = 0, encodings = 0;
    QByteArray encoding;
    for (const auto& [name, value] : head.headers) {
        const QByteArray lower = name.toLower();
        if (lower == "content-length") ++lengths;
        if (lower == "host") ++hosts;
        if (lower == "transfer-encoding") ++encodings, encoding = value.trimmed().toLower();
    }
    if (lengths > 1) return badFraming(QStringLiteral("несколько заголовков Content-Length"));
    if (encodings && lengths)
        return badFraming(QStringLiteral("Content-Length вместе с Transfer-Encoding"));
    if (hosts > 1) return badFraming(QStringLiteral("несколько заголовков Host"));
    if (encodings > 1 || (encodings && encoding != "chunked"))
        return badFraming(QStringLiteral("неизвестный Transfer-Encoding"));
    if (encodings)
        return Reply::error(411, QStringLiteral("length_required"),
                            QStringLiteral("Тело запроса принимается только с Content-Length."));
    return std::nullopt;
}

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int socketOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return info ? info->connect_fd : -1;
}

MHD_Result collectHeader(void* headers, MHD_ValueKind, const char* name, const char* value) {
    static_cast<QList<std::pair<QByteArray, QByteArray>>*>(headers)->append(
        {QByteArray(name), QByteArray(value ? value : "")});
    return MHD_YES;
}

MHD_Result collectArgument(void* query, MHD_ValueKind, const char* name, const char* value) {
    static_cast<QUrlQuery*>(query)->addQueryItem(QString::fromUtf8(name),
                                                 QString::fromUtf8(value ? value : ""));
    return MHD_YES;
}

}  // namespace

class HttpListener::Daemon {
public:
    Daemon(ApiRouter& router, ListenerLimits limits)
        : m_router(router),
          m_limits(limits),
          m_deadlines({limits.requestSeconds * 1000LL, limits.idleSeconds * 1000LL}) {}

    ~Daemon() {
        {
            const std::lock_guard lock(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_sweeper.joinable()) m_sweeper.join();
        if (m_mhd) MHD_stop_daemon(m_mhd);
    }

    std::variant<quint16, QString> start(const QHostAddress& address, quint16 port,
                                         const std::optional<TlsPair>& tls);

private:
    static MHD_Result accept(void* self, const sockaddr*, socklen_t) {
        // Refused here, a connection is closed at once instead of waiting in the backlog.
        auto* daemon = static_cast<Daemon*>(self);
        return daemon->m_open.load() < daemon->m_limits.maxConnections ? MHD_YES : MHD_NO;
    }
    static void notify(void* self, MHD_Connection* connection, void**,
                       MHD_ConnectionNotificationCode code);
    static MHD_Result access(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char* version, const char* upload,
                             std::size_t* uploadSize, void** context);
    static void completed(void* self, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode);
    static void log(void* self, const char* format, va_list arguments);

    MHD_Result begin(MHD_Connection* connection, Request& head, const char* url,
                     const char* method);
    static MHD_Result send(MHD_Connection* connection, const Reply& reply, bool close);
    void sweep();

    ApiRouter& m_router;
    ListenerLimits m_limits;
    MHD_Daemon* m_mhd = nullptr;
    std::optional<TlsPair> m_tls;  // the library reads the PEM text it is given at start
    std::atomic<int> m_open{0};

    std::mutex m_lock;  // guards what follows
    ConnectionDeadlines m_deadlines;
    bool m_stopping = false;
    bool m_starting = false;
    QString m_startProblem;
    std::condition_variable m_wake;
    std::thread m_sweeper;
};

std::variant<quint16, QString> HttpListener::Daemon::start(const QHostAddress& address,
                                                           quint16 port,
                                                           const std::optional<TlsPair>& tls) {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* where = nullptr;
    unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, bytes.c, sizeof bytes.c);
        where = reinterpret_cast<const sockaddr*>(&v6);
        flags |= MHD_USE_DUAL_STACK;
    } else {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(address.toIPv4Address());
        where = reinterpret_cast<const sockaddr*>(&v4);
    }
    m_tls = tls;
    if (m_tls) flags |= MHD_USE_TLS;
    {
        const std::lock_guard lock(m_lock);
        m_starting = true;
    }
    // The library's own limit stays above ours, so that accept() is what refuses.
    const auto libraryLimit = static_cast<unsigned>(m_limits.maxConnections + 16);
    const MHD_OptionItem secure[] = {
        {MHD_OPTION_HTTPS_MEM_CERT, 0, m_tls ? m_tls->certificatePem.data() : nullptr},
        {MHD_OPTION_HTTPS_MEM_KEY, 0, m_tls ? m_tls->keyPem.data() : nullptr},
        {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(tlsPriorities())},
        {MHD_OPTION_END, 0, nullptr}};
    const MHD_OptionItem plain[] = {{MHD_OPTION_END, 0, nullptr}};
    m_mhd = MHD_start_daemon(
        flags, port, &Daemon::accept, this, &Daemon::access, this, MHD_OPTION_EXTERNAL_LOGGER,
        &Daemon::log, this, MHD_OPTION_SOCK_ADDR, where, MHD_OPTION_CONNECTION_LIMIT, libraryLimit,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(m_limits.maxConnectionsPerClient),
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(m_limits.idleSeconds),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, poolBytes(m_limits.maxHeadBytes),
        MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_NOTIFY_CONNECTION, &Daemon::notify, this,
        MHD_OPTION_NOTIFY_COMPLETED, &Daemon::completed, this, MHD_OPTION_ARRAY,
        m_tls ? secure : plain, MHD_OPTION_END);
    QString problem;
    {
        const std::lock_guard lock(m_lock);
        m_starting = false;
        problem = m_startProblem;
    }
    if (!m_mhd)
        return QStringLiteral("порт %1 на %2 занят или недоступен")
                   .arg(port)
                   .arg(address.toString()) +
               (problem.isEmpty() ? QString() : QStringLiteral(" (") + problem + u')');
    m_sweeper = std::thread([this] { sweep(); });
    const MHD_DaemonInfo* bound = MHD_get_daemon_info(m_mhd, MHD_DAEMON_INFO_BIND_PORT);
    return bound ? bound->port : port;
}

void HttpListener::Daemon::log(void* self, const char* format, va_list arguments) {
    // Only the reason a start failed is kept: what clients get wrong is answered, not logged.
    auto* daemon = static_cast<Daemon*>(self);
    const std::lock_guard lock(daemon->m_lock);
    if (!daemon->m_starting) return;
    char text[256];
    std::vsnprintf(text, sizeof text, format, arguments);
    daemon->m_startProblem = QString::fromLocal8Bit(text).trimmed();
}

void HttpListener::Daemon::notify(void* self, MHD_Connection* connection, void**,
                                  MHD_ConnectionNotificationCode code) {
    auto* daemon = static_cast<Daemon*>(self);
    const int socket = socketOf(connection);
    {
        const std::lock_guard lock(daemon->m_lock);
        // The library reports a connection closed before it closes the socket, so the sweeper
        // never shuts down a socket number that already belongs to someone else.
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            daemon->m_deadlines.opened(socket, nowMs());
            ++daemon->m_open;
        } else {
            daemon->m_deadlines.closed(socket);
            --daemon->m_open;
        }
    }
    daemon->m_wake.notify_one();
}

MHD_Result HttpListener::Daemon::access(void* self, MHD_Connection* connection, const char* url,
                                        const char* method, const char*, const char* upload,
                                        std::size_t* uploadSize, void** context) {
    auto* daemon = static_cast<Daemon*>(self);
    auto* request = static_cast<Request*>(*context);
    if (!request) {
        request = new Request;
        *context = request;
        {
            const std::lock_guard lock(daemon->m_lock);
            daemon->m_deadlines.headRead(socketOf(connection), nowMs());
        }
        return daemon->begin(connection, *request, url, method);
    }
    if (*uploadSize) {
        // No more than the Content-Length that begin() let through.
        request->body.append(upload, static_cast<qsizetype>(*uploadSize));
        *uploadSize = 0;
        return MHD_YES;
    }
    {
        const std::lock_guard lock(daemon->m_lock);
        daemon->m_deadlines.requestRead(socketOf(connection));
    }
    return send(connection, daemon->m_router.answer(*request), false);
}

MHD_Result HttpListener::Daemon::begin(MHD_Connection* connection, Request& head, const char* url,
                                       const char* method) {
    head.method = method;
    head.path = QString::fromUtf8(url);
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectHeader, &head.headers);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &collectArgument, &head.query);
    if (const MHD_ConnectionInfo* peer =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
        head.peer = QHostAddress(peer->client_addr);

    const QByteArray declared = head.header("Content-Length");
    const bool withBody = !declared.isEmpty() || head.hasHeader("Transfer-Encoding");
    // Whatever is refused before its body is read ends the connection: the unread body must
    // not be taken for the next request.
    if (auto refusal = framingRefusal(head)) return send(connection, *refusal, true);
    const MHD_ConnectionInfo* size =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
    if (size && static_cast<qsizetype>(size->header_size) > m_limits.maxHeadBytes)
        return send(connection,
                    Reply::error(431, QStringLiteral("head_too_large"),
                                 QStringLiteral("Заголовки запроса больше %1 КБ.")
                                     .arg(m_limits.maxHeadBytes / 1024)),
                    true);
    if (auto refusal = m_router.admit(head)) return send(connection, *refusal, withBody);
    if (declared.isEmpty()) return MHD_YES;
    bool number = false;
    const qulonglong length = declared.toULongLong(&number);
    if (!number)
        return send(connection, badFraming(QStringLiteral("неверный Content-Length")), true);
    if (length > static_cast<qulonglong>(m_limits.maxBodyBytes))
        return send(
            connection,
            Reply::error(
                413, QStringLiteral("too_large"),
                QStringLiteral("Тело запроса больше %1 КБ.").arg(m_limits.maxBodyBytes / 1024)),
            true);
    head.body.reserve(static_cast<qsizetype>(length));
    return MHD_YES;
}

MHD_Result HttpListener::Daemon::send(MHD_Connection* connection, const Reply& reply, bool close) {
    MHD_Response* response = MHD_create_response_from_buffer(
        static_cast<std::size_t>(reply.body.size()), const_cast<char*>(reply.body.constData()),
        MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.constData());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'self'; frame-ancestors 'none'");
    if (reply.status == 429) MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, "1");
    if (close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

void HttpListener::Daemon::completed(void* self, MHD_Connection* connection, void** context,
                                     MHD_RequestTerminationCode) {
    auto* daemon = static_cast<Daemon*>(self);
    delete static_cast<Request*>(*context);
    *context = nullptr;
    const int socket = socketOf(connection);
    const std::optional<quint64> received = receivedBytes(socket);
    const std::lock_guard lock(daemon->m_lock);
    daemon->m_deadlines.answered(socket, nowMs(), received);
}

void HttpListener::Daemon::sweep() {
    std::unique_lock lock(m_lock);
    while (!m_stopping) {
        if (m_deadlines.size() == 0)
            m_wake.wait(lock);
        else
            m_wake.wait_for(lock, kSweepPeriod);
        if (m_stopping) break;
        // Shut down, not closed: the library sees the end of the stream and closes the
        // connection itself, on its own thread.
        for (const int socket : m_deadlines.overdue(nowMs(), &receivedBytes)) {
            ::shutdown(socket, SHUT_RDWR);
            m_deadlines.closed(socket);
        }
    }
}

HttpListener::HttpListener(ApiRouter& router, ListenerLimits limits)
    : m_daemon(std::make_unique<Daemon>(router, limits)) {}

HttpListener::~HttpListener() = default;

std::variant<quint16, QString> HttpListener::start(const QHostAddress& address, quint16 port,
                                                   const std::optional<TlsPair>& tls) {
    return m_daemon->start(address, port, tls);
}

}  // namespace telvane::http
