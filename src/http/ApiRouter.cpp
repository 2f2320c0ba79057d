#include "http/ApiRouter.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>

#include "config/SettingsKeys.h"
#include "contracts/EngineFigures.h"
#include "http/Gauges.h"
#include "http/Messages.h"
#include "http/StatusBoard.h"

namespace telvane::http {

bool RateLimiter::allow(const QHostAddress& client, qint64 nowMs) {
    // Clients gone quiet are forgotten, so that many addresses cannot fill the memory.
    if (m_buckets.size() > 4096) {
        for (auto it = m_buckets.begin(); it != m_buckets.end();)
            it = nowMs - it->lastMs > 60000 ? m_buckets.erase(it) : std::next(it);
    }
    const QString key = client.toString();
    auto it = m_buckets.find(key);
    if (it == m_buckets.end()) it = m_buckets.insert(key, {m_burst, nowMs});
    it->tokens = std::min(m_burst, it->tokens + (nowMs - it->lastMs) * m_perSecond / 1000.0);
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

ApiRouter::ApiRouter(HttpConfig config, config::Settings settings, store::StoreOpener openStore,
                     contracts::GatewayFigures figures, const StatusBoard& board,
                     std::function<qint64()> monotonicMs)
    : m_config(std::move(config)),
      m_settings(std::move(settings)),
      m_stores(std::move(openStore)),
      m_figures(std::move(figures)),
      m_board(board),
      m_monotonicMs(std::move(monotonicMs)),
      m_requests(m_config.requestsPerSecond, m_config.requestsPerSecond),
      m_failures(kFailuresPerSecond, kFailureBurst) {}

namespace {

// Without a token only this computer's own names will do: a web page that points a name of its
// own at 127.0.0.1 (DNS rebinding) must not reach the interface as if it were the same site,
// and a page of another site that the operator has open must not act through the browser.
bool localHost(const QByteArray& host) {
    static const QRegularExpression local(
        QStringLiteral("^(localhost|127(\\.\\d{1,3}){3}|\\[::1\\])(:\\d+)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return local.match(QString::fromLatin1(host)).hasMatch();
}

bool localOrigin(const QByteArray& origin) {
    static const QRegularExpression local(
        QStringLiteral("^https?://(localhost|127(\\.\\d{1,3}){3}|\\[::1\\])(:\\d+)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return local.match(QString::fromLatin1(origin)).hasMatch();
}

// The page's own files: the same for everyone, and no token to show them.
std::optional<std::pair<QString, QByteArray>> pageFileOf(const QString& path) {
    if (path == u"/" || path == u"/index.html")
        return std::pair{QStringLiteral("index.html"), QByteArray("text/html; charset=utf-8")};
    if (path == u"/page.css") return std::pair{QStringLiteral("page.css"), QByteArray("text/css")};
    if (path == u"/page.js")
        return std::pair{QStringLiteral("page.js"), QByteArray("text/javascript; charset=utf-8")};
    if (path == u"/icon.svg" || path == u"/favicon.ico")
        return std::pair{QStringLiteral("icon.svg"), QByteArray("image/svg+xml")};
    // The API's description, for the clients' tools: it tells no more than the README does.
    if (path == u"/api/v1/openapi.json")
        return std::pair{QStringLiteral("openapi.json"), QByteArray("application/json")};
    return std::nullopt;
}

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
                                                   "адресу localhost, 127.0.0.1 или [::1] и "
                                                   "только со страниц этого компьютера."));
}

Reply tooMany() {
    return Reply::error(429, QStringLiteral("too_many_requests"),
                        QStringLiteral("Слишком много запросов; повторите через секунду."));
}

// HEAD answers as GET does; the transport leaves the body out.
bool reading(const Request& request) { return request.method == "GET" || request.method == "HEAD"; }

// A whole number in [low, high] from the query, the default when absent; nothing when wrong.
std::optional<qint64> queryNumber(const Request& request, const QString& name, qint64 byDefault,
                                  qint64 low, qint64 high) {
    if (!request.query.hasQueryItem(name)) return byDefault;
    bool ok = false;
    const qint64 value = request.query.queryItemValue(name).toLongLong(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

bool ApiRouter::authorized(const Request& request) const {
    if (m_config.token.isEmpty())
        return localHost(request.header("Host")) &&
               (!request.hasHeader("Origin") || localOrigin(request.header("Origin")));
    const QByteArray given = request.header("Authorization");
    return given.startsWith("Bearer ") && sameSecret(given.mid(7).trimmed(), m_config.token);
}

std::optional<Reply> ApiRouter::admit(const Request& head) {
    if (pageFileOf(head.path)) return std::nullopt;
    const bool guarded =
        head.path.startsWith(u"/api/v1/") || (head.path == u"/metrics" && !m_config.metricsOpen);
    const bool counted = guarded || head.path == u"/metrics";
    if (!counted) return std::nullopt;
    // The token first: a request without it costs nothing but the check, and only the refused
    // tokens' own bucket, so that nobody can use up the rate of the clients that have it.
    if (guarded && !authorized(head)) {
        const std::lock_guard lock(m_limitersLock);
        if (!m_failures.allow(head.peer, m_monotonicMs())) return tooMany();
        return unauthorized(!m_config.token.isEmpty());
    }
    {
        const std::lock_guard lock(m_limitersLock);
        if (!m_requests.allow(head.peer, m_monotonicMs())) return tooMany();
    }
    // A form of another web site can post text/plain without asking first; JSON it can only
    // send after a CORS preflight, which this interface never allows.
    if (head.method == "POST" && head.path == u"/api/v1/messages" &&
        !head.header("Content-Type").toLower().startsWith("application/json"))
        return Reply::error(415, QStringLiteral("not_json"),
                            QStringLiteral("Нужен Content-Type: application/json."));
    return std::nullopt;
}

Reply ApiRouter::answer(const Request& request) {
    const QString& path = request.path;
    if (const auto page = pageFileOf(path))
        return reading(request) ? pageFile(page->first, page->second) : notAllowed();
    if (path == u"/metrics") {
        if (!reading(request)) return notAllowed();
        return {200,
                metricsText(m_figures, queueFigures(m_stores.here(), QDateTime::currentDateTime())),
                "text/plain; version=0.0.4; charset=utf-8"};
    }
    if (path.startsWith(u"/api/v1/")) return api(request, path.mid(8));
    return Reply::error(404, QStringLiteral("not_found"), QStringLiteral("Нет такого адреса."));
}

Reply ApiRouter::api(const Request& request, const QString& path) {
    const bool get = reading(request);
    if (path == u"messages") {
        if (request.method == "POST") {
            Reply reply = postMessage(m_stores.here(), m_settings, request.body,
                                      QDateTime::currentDateTime());
            if (reply.status == 202 && m_queued) m_queued();
            return reply;
        }
        if (!get) return notAllowed();
        const auto limit = queryNumber(request, QStringLiteral("limit"), 20, 1, 200);
        if (!limit)
            return Reply::error(400, QStringLiteral("bad_limit"),
                                QStringLiteral("limit: целое число от 1 до 200."));
        return recentMessages(m_stores.here(), static_cast<int>(*limit));
    }
    if (path.startsWith(u"messages/")) {
        if (!get) return notAllowed();
        return messageState(m_stores.here(), path.mid(9));
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
        return inboxPage(m_stores.here(), *after, static_cast<int>(*limit));
    }
    if (path == u"stats") {
        if (!get) return notAllowed();
        const auto hours = queryNumber(request, QStringLiteral("hours"), 24, 1, 168);
        if (!hours)
            return Reply::error(400, QStringLiteral("bad_hours"),
                                QStringLiteral("hours: целое число от 1 до 168."));
        return hourlyTraffic(m_stores.here(), static_cast<int>(*hours),
                             QDateTime::currentDateTime());
    }
    if (path == u"status") return get ? status() : notAllowed();
    return Reply::error(404, QStringLiteral("not_found"), QStringLiteral("Нет такого адреса."));
}

namespace {

// What is not known is null, not a made-up value.
QJsonValue orNull(const std::optional<int>& n) { return n ? QJsonValue(*n) : QJsonValue(); }
QJsonValue orNull(const QString& text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); }

// Every modem of every gateway that shares the store, as each last said; one that has not said
// anything for a minute (it says so at least every 27 s while it runs) is silent: its gateway
// stopped.
QJsonArray modemsOf(store::Store& store, const QDateTime& now) {
    constexpr qint64 kSilentAfterS = 60;
    QJsonArray list;
    const auto beats = store.modems();
    if (!beats) return list;
    for (const store::ModemBeat& b : *beats)
        list.append(QJsonObject{
            {QStringLiteral("host"), b.host},
            {QStringLiteral("name"), b.name},
            {QStringLiteral("port"), b.port},
            {QStringLiteral("model"), orNull(b.model)},
            {QStringLiteral("operator"), orNull(b.operatorName)},
            {QStringLiteral("registration"), orNull(b.registration)},
            {QStringLiteral("signal"), orNull(b.signal)},
            {QStringLiteral("inService"), b.inService},
            {QStringLiteral("sentToday"), b.sentToday},
            {QStringLiteral("limitLeft"), orNull(b.limitLeft)},
            {QStringLiteral("blockedUntil"),
             b.blockedUntil.isValid() ? QJsonValue(b.blockedUntil.toUTC().toString(Qt::ISODate))
                                      : QJsonValue()},
            {QStringLiteral("seen"), b.seen.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("silent"), b.seen.secsTo(now) > kSilentAfterS}});
    return list;
}

}  // namespace

Reply ApiRouter::status() {
    // The gateway's state and "modem" are the first modem's; the counters are all modems'.
    const contracts::EngineFigures& f = *m_figures.front().figures;
    const auto total = [&](const std::atomic<std::uint64_t> contracts::EngineFigures::*counter) {
        qint64 sum = 0;
        for (const contracts::ModemFigures& m : m_figures)
            sum += qint64((m.figures->*counter).load());
        return sum;
    };
    using F = contracts::EngineFigures;
    const QueueFigures queue = queueFigures(m_stores.here(), QDateTime::currentDateTime());
    const std::pair<std::string, std::string> modem = f.modem();
    return Reply::json(
        200,
        {{QStringLiteral("gateway"),
          QJsonObject{{QStringLiteral("status"), m_board.status()},
                      {QStringLiteral("statusId"), f.statusId.load()},
                      {QStringLiteral("inService"), f.inService.load()}}},
         {QStringLiteral("modem"),
          QJsonObject{{QStringLiteral("port"), m_settings.text(config::setting::ComPort)},
                      {QStringLiteral("model"), orNull(QString::fromStdString(modem.first))},
                      {QStringLiteral("operator"), orNull(QString::fromStdString(modem.second))},
                      {QStringLiteral("network"), m_board.network()},
                      {QStringLiteral("registration"), orNull(f.knownRegistration())},
                      {QStringLiteral("signal"), orNull(f.knownSignal())}}},
         {QStringLiteral("queue"),
          QJsonObject{
              {QStringLiteral("files"), queue.files},
              {QStringLiteral("oldestAgeSeconds"),
               queue.oldestAgeSeconds ? QJsonValue(*queue.oldestAgeSeconds) : QJsonValue()}}},
         {QStringLiteral("counters"),
          QJsonObject{{QStringLiteral("received"), total(&F::received)},
                      {QStringLiteral("partsSent"), total(&F::partsSent)},
                      {QStringLiteral("partsRefused"), total(&F::partsRefused)},
                      {QStringLiteral("failed"), total(&F::failed)},
                      {QStringLiteral("reportsDelivered"), total(&F::reportsDelivered)},
                      {QStringLiteral("reportsPending"), total(&F::reportsPending)},
                      {QStringLiteral("reportsFailed"), total(&F::reportsFailed)}}},
         {QStringLiteral("inbox"), QJsonObject{{QStringLiteral("newest"),
                                                QString::number(newestReceived(m_stores.here()))}}},
         {QStringLiteral("modems"), modemsOf(m_stores.here(), QDateTime::currentDateTime())}});
}

}  // namespace telvane::http
