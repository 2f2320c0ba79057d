#include "http/ApiServer.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>

#include "config/SettingsKeys.h"
#include "contracts/EngineFigures.h"
#include "http/Gauges.h"
#include "http/Messages.h"
#include "store/UnavailableStore.h"

namespace telvane::http {

bool RateLimiter::allow(const QHostAddress& client, qint64 nowMs) {
    // Clients gone quiet are forgotten, so that many addresses cannot fill the memory.
    if (m_buckets.size() > 4096) {
        for (auto it = m_buckets.begin(); it != m_buckets.end();)
            it = nowMs - it->lastMs > 60000 ? m_buckets.erase(it) : std::next(it);
    }
    const QString key = client.toString();
    auto it = m_buckets.find(key);
    if (it == m_buckets.end()) it = m_buckets.insert(key, {double(m_perSecond), nowMs});
    it->tokens =
        std::min<double>(m_perSecond, it->tokens + (nowMs - it->lastMs) * m_perSecond / 1000.0);
    it->lastMs = nowMs;
    if (it->tokens < 1) return false;
    it->tokens -= 1;
    return true;
}

bool sameSecret(const QByteArray& given, const QByteArray& expected) {
    // Digests of equal length: neither the length nor the first differing byte shows in time.
    const QByteArray a = QCryptographicHash::hash(given, QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(expected, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

ApiServer::ApiServer(HttpConfig config, config::Settings settings, store::StoreOpener openStore,
                     QObject* parent)
    : QAbstractHttpServer(parent),
      m_config(std::move(config)),
      m_settings(std::move(settings)),
      m_openStore(std::move(openStore)),
      m_limiter(m_config.requestsPerSecond) {
    m_clock.start();
}

store::Store& ApiServer::store() {
    if (!m_store) m_store = store::openOrExplain(m_openStore);
    return *m_store;
}

std::pair<QString, bool> ApiServer::start() {
    const bool secure = !m_config.certificate.isEmpty();
    if (secure) {
        QFile certificateFile(m_config.certificate), keyFile(m_config.key);
        if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
            return {QStringLiteral("не читается ") + m_config.certificate +
                        QStringLiteral(" или ") + m_config.key,
                    false};
        const QSslCertificate certificate(&certificateFile, QSsl::Pem);
        QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
        if (key.isNull()) {
            keyFile.seek(0);
            key = QSslKey(&keyFile, QSsl::Ec, QSsl::Pem);
        }
        if (certificate.isNull() || key.isNull())
            return {QStringLiteral("сертификат или ключ не в формате PEM"), false};
        sslSetup(certificate, key);
    }
    const quint16 port = listen(m_config.address, m_config.port);
    if (port == 0)
        return {QStringLiteral("порт %1 на %2 занят или недоступен")
                    .arg(m_config.port)
                    .arg(m_config.address.toString()),
                false};
    const QString host = m_config.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + m_config.address.toString() + u']'
                             : m_config.address.toString();
    return {(secure ? QStringLiteral("https://") : QStringLiteral("http://")) + host + u':' +
                QString::number(port) + u'/',
            true};
}

bool ApiServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const Reply reply = answer(request);
    QHttpServerResponder responder = makeResponder(request, socket);
    const auto code = static_cast<QHttpServerResponder::StatusCode>(reply.status);
    if (reply.status == 429)
        responder.write(reply.body,
                        {{"Content-Type", reply.contentType},
                         {"Cache-Control", "no-store"},
                         {"Retry-After", "1"}},
                        code);
    else
        responder.write(reply.body,
                        {{"Content-Type", reply.contentType},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"}},
                        code);
    return true;
}

void ApiServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket)
        .write(Reply::error(404, QStringLiteral("not_found"), QStringLiteral("Нет такого адреса."))
                   .body,
               "application/json", QHttpServerResponder::StatusCode::NotFound);
}

namespace {

QByteArray headerOf(const QHttpServerRequest& request, const char* wanted) {
    for (const auto& [name, value] : request.headers())
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) return value.trimmed();
    return {};
}

// Without a token only this computer's own names will do: a web page that points a name of its
// own at 127.0.0.1 (DNS rebinding) must not reach the interface as if it were the same site.
bool localHost(const QByteArray& host) {
    static const QRegularExpression local(
        QStringLiteral("^(localhost|127(\\.\\d{1,3}){3}|\\[::1\\])(:\\d+)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return local.match(QString::fromLatin1(host)).hasMatch();
}

}  // namespace

bool ApiServer::authorized(const QHttpServerRequest& request) const {
    if (m_config.token.isEmpty()) return localHost(headerOf(request, "Host"));
    const QByteArray given = headerOf(request, "Authorization");
    return given.startsWith("Bearer ") && sameSecret(given.mid(7).trimmed(), m_config.token);
}

namespace {

Reply pageFile(const QString& name, const QByteArray& type) {
    QFile file(QStringLiteral(":/telvane/http/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return Reply::error(404, QStringLiteral("not_found"), QStringLiteral("Нет такого адреса."));
    return {200, file.readAll(), type};
}

Reply notAllowed() {
    return Reply::error(405, QStringLiteral("method_not_allowed"),
                        QStringLiteral("Этот метод здесь не поддерживается."));
}

Reply unauthorized(bool withToken) {
    return Reply::error(401, QStringLiteral("unauthorized"),
                        withToken ? QStringLiteral("Нужен заголовок Authorization: Bearer <Token>.")
                                  : QStringLiteral("Без Token запросы принимаются только по "
                                                   "адресу localhost, 127.0.0.1 или [::1]."));
}

// A whole number in [low, high] from the query, the default when absent; nothing when wrong.
std::optional<qint64> queryNumber(const QHttpServerRequest& request, const QString& name,
                                  qint64 byDefault, qint64 low, qint64 high) {
    if (!request.query().hasQueryItem(name)) return byDefault;
    bool ok = false;
    const qint64 value = request.query().queryItemValue(name).toLongLong(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

Reply ApiServer::answer(const QHttpServerRequest& request) {
    if (!m_limiter.allow(request.remoteAddress(), m_clock.elapsed()))
        return Reply::error(429, QStringLiteral("too_many_requests"),
                            QStringLiteral("Слишком много запросов; повторите через секунду."));
    if (request.body().size() > kMaxBody)
        return Reply::error(413, QStringLiteral("too_large"),
                            QStringLiteral("Тело запроса больше 64 КБ."));
    const QString path = request.url().path();
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    if (path == u"/" || path == u"/index.html")
        return get ? pageFile(QStringLiteral("index.html"), "text/html; charset=utf-8")
                   : notAllowed();
    if (path == u"/page.css")
        return get ? pageFile(QStringLiteral("page.css"), "text/css") : notAllowed();
    if (path == u"/page.js")
        return get ? pageFile(QStringLiteral("page.js"), "text/javascript; charset=utf-8")
                   : notAllowed();
    if (path == u"/icon.svg" || path == u"/favicon.ico")
        return get ? pageFile(QStringLiteral("icon.svg"), "image/svg+xml") : notAllowed();
    if (path == u"/metrics") {
        if (!m_config.metricsOpen && !authorized(request))
            return unauthorized(!m_config.token.isEmpty());
        if (!get) return notAllowed();
        return {200,
                metricsText(contracts::engineFigures(),
                            queueFigures(store(), QDateTime::currentDateTime())),
                "text/plain; version=0.0.4; charset=utf-8"};
    }
    if (path.startsWith(u"/api/v1/")) {
        if (!authorized(request)) return unauthorized(!m_config.token.isEmpty());
        return api(request, path.mid(8));
    }
    return Reply::error(404, QStringLiteral("not_found"), QStringLiteral("Нет такого адреса."));
}

Reply ApiServer::api(const QHttpServerRequest& request, const QString& path) {
    const auto method = request.method();
    const bool get = method == QHttpServerRequest::Method::Get;
    if (path == u"messages") {
        if (method == QHttpServerRequest::Method::Post) {
            // A form of another web site can post text/plain without asking first; JSON it
            // can only send after a CORS preflight, which this interface never allows.
            if (!headerOf(request, "Content-Type").toLower().startsWith("application/json"))
                return Reply::error(415, QStringLiteral("not_json"),
                                    QStringLiteral("Нужен Content-Type: application/json."));
            return postMessage(store(), m_settings, request.body(), QDateTime::currentDateTime());
        }
        if (!get) return notAllowed();
        const auto limit = queryNumber(request, QStringLiteral("limit"), 20, 1, 200);
        if (!limit)
            return Reply::error(400, QStringLiteral("bad_limit"),
                                QStringLiteral("limit: целое число от 1 до 200."));
        return recentMessages(store(), static_cast<int>(*limit));
    }
    if (path.startsWith(u"messages/")) {
        if (!get) return notAllowed();
        return messageState(store(), path.mid(9));
    }
    if (path == u"inbox") {
        if (!get) return notAllowed();
        const auto after =
            queryNumber(request, QStringLiteral("after"), 0, 0, std::numeric_limits<qint64>::max());
        const auto limit = queryNumber(request, QStringLiteral("limit"), 50, 1, 500);
        if (!after || !limit)
            return Reply::error(
                400, QStringLiteral("bad_cursor"),
                QStringLiteral("after: курсор из прошлого ответа; limit: от 1 до 500."));
        return inboxPage(store(), *after, static_cast<int>(*limit));
    }
    if (path == u"status") return get ? status() : notAllowed();
    return Reply::error(404, QStringLiteral("not_found"), QStringLiteral("Нет такого адреса."));
}

Reply ApiServer::status() {
    const contracts::EngineFigures& f = contracts::engineFigures();
    const QueueFigures queue = queueFigures(store(), QDateTime::currentDateTime());
    const auto known = [](int value) { return value < 0 ? QJsonValue() : QJsonValue(value); };
    const auto orNull = [](const std::string& text) {
        return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
    };
    const std::pair<std::string, std::string> modem = f.modem();
    return Reply::json(
        200,
        {{QStringLiteral("gateway"),
          QJsonObject{{QStringLiteral("status"), m_statusText},
                      {QStringLiteral("statusId"), f.statusId.load()},
                      {QStringLiteral("inService"), f.inService.load()}}},
         {QStringLiteral("modem"),
          QJsonObject{{QStringLiteral("port"), m_settings.text(config::setting::ComPort)},
                      {QStringLiteral("model"), orNull(modem.first)},
                      {QStringLiteral("operator"), orNull(modem.second)},
                      {QStringLiteral("network"), m_networkText},
                      {QStringLiteral("registration"), known(f.registration)},
                      {QStringLiteral("signal"), known(f.signal == 99 ? -1 : f.signal.load())}}},
         {QStringLiteral("queue"),
          QJsonObject{
              {QStringLiteral("files"), queue.files},
              {QStringLiteral("oldestAgeSeconds"),
               queue.oldestAgeSeconds ? QJsonValue(*queue.oldestAgeSeconds) : QJsonValue()}}},
         {QStringLiteral("counters"),
          QJsonObject{{QStringLiteral("received"), qint64(f.received.load())},
                      {QStringLiteral("partsSent"), qint64(f.partsSent.load())},
                      {QStringLiteral("partsRefused"), qint64(f.partsRefused.load())},
                      {QStringLiteral("failed"), qint64(f.failed.load())},
                      {QStringLiteral("reportsDelivered"), qint64(f.reportsDelivered.load())},
                      {QStringLiteral("reportsPending"), qint64(f.reportsPending.load())},
                      {QStringLiteral("reportsFailed"), qint64(f.reportsFailed.load())}}},
         {QStringLiteral("inbox"),
          QJsonObject{{QStringLiteral("newest"), QString::number(newestReceived(store()))}}}});
}

}  // namespace telvane::http
