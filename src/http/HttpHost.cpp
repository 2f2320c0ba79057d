#include "http/HttpHost.h"

#include <QElapsedTimer>
#include <QUrl>

#include "config/Settings.h"
#include "http/ApiRouter.h"
#include "http/HttpConfig.h"
#include "http/HttpListener.h"
#include "http/WebhookSender.h"

namespace telvane::http {

HttpHost::HttpHost(QString iniFilePath, QString homeFolder, store::StoreOpener openStore,
                   contracts::GatewayFigures figures, storage::LogWriter& log, QObject* parent)
    : QObject(parent),
      m_iniFilePath(std::move(iniFilePath)),
      m_homeFolder(std::move(homeFolder)),
      m_openStore(std::move(openStore)),
      m_figures(std::move(figures)),
      m_log(log) {}

HttpHost::~HttpHost() {
    m_listener.reset();
    if (!m_thread) return;
    m_thread->quit();
    m_thread->wait();
}

void HttpHost::launch() {
    const config::Settings settings(m_iniFilePath, m_homeFolder);
    listen(settings);
    post(settings);
}

void HttpHost::listen(const config::Settings& settings) {
    const auto read = readHttpConfig(settings);
    if (const auto* off = std::get_if<HttpOff>(&read)) {
        if (!off->why.isEmpty()) refuse(off->why);
        return;
    }
    HttpConfig config = std::get<HttpConfig>(read);
    const int within = connectionsWithin(config.maxConnections, descriptorLimit());
    if (within < config.maxConnections) {
        note(QStringLiteral("Веб-интерфейс: MaxConnections=%1 снижено до %2, половины предела "
                            "открытых файлов (LimitNOFILE=%3)")
                 .arg(config.maxConnections)
                 .arg(within)
                 .arg(descriptorLimit()));
        config.maxConnections = within;
        config.maxConnectionsPerClient = std::min(config.maxConnectionsPerClient, within);
    }
    std::optional<TlsPair> tls;
    if (!config.certificate.isEmpty()) {
        auto pair = readTlsPair(config.certificate, config.key);
        if (const auto* why = std::get_if<QString>(&pair)) {
            refuse(*why);
            return;
        }
        tls = std::get<TlsPair>(std::move(pair));
    }
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    m_router = std::make_unique<ApiRouter>(config, settings, m_openStore, m_figures, m_board,
                                           [clock] { return clock->elapsed(); });
    m_router->onQueued([this] { emit messageQueued(); });
    m_listener = std::make_unique<HttpListener>(
        *m_router, ListenerLimits{.maxConnections = config.maxConnections,
                                  .maxConnectionsPerClient = config.maxConnectionsPerClient});
    const auto started = m_listener->start(config.address, config.port, tls);
    if (const auto* why = std::get_if<QString>(&started)) {
        m_listener.reset();
        m_router.reset();
        refuse(*why);
        return;
    }
    const QString host = config.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + config.address.toString() + u']'
                             : config.address.toString();
    emit announced(QStringLiteral("Веб-интерфейс: ") +
                   (tls ? QStringLiteral("https://") : QStringLiteral("http://")) + host + u':' +
                   QString::number(std::get<quint16>(started)) + u'/');
}

void HttpHost::post(const config::Settings& settings) {
    const QString webhook = settings.text(config::setting::HttpWebhook).trimmed();
    if (webhook.isEmpty()) return;
    const QUrl url(webhook, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https")) {
        // The value may carry a password or a key: it is not repeated.
        refuse(QStringLiteral("неверный адрес Webhook (нужен URL http:// или https://)"));
        return;
    }
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("telvane-webhook"));
    // Made here, then handed to its thread before that starts: it posts and ends there, as its
    // sockets must.
    m_sender = new WebhookSender(url, settings.text(config::setting::HttpToken).trimmed().toUtf8(),
                                 m_openStore, settings.gatewayName(), m_log);
    m_sender->moveToThread(m_thread.get());
    QMetaObject::invokeMethod(m_sender, &WebhookSender::wake, Qt::QueuedConnection);
    connect(
        m_thread.get(), &QThread::finished, this,
        [this] {
            delete m_sender;
            m_sender = nullptr;
        },
        Qt::DirectConnection);
    m_thread->start();
}

void HttpHost::refuse(const QString& why) {
    note(QStringLiteral("Веб-интерфейс не запущен: ") + why);
}

void HttpHost::note(const QString& line) {
    emit announced(line);
    (void)m_log.write({line});
}

}  // namespace telvane::http
