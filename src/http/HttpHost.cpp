#include "http/HttpHost.h"

#include <QUrl>

#include "config/Settings.h"
#include "gateway/EngineHost.h"
#include "http/ApiServer.h"
#include "http/HttpConfig.h"
#include "http/WebhookSender.h"

namespace telvane::http {

HttpHost::HttpHost(QString iniFilePath, QString homeFolder, QObject* parent)
    : QObject(parent), m_iniFilePath(std::move(iniFilePath)), m_homeFolder(std::move(homeFolder)) {}

HttpHost::~HttpHost() {
    if (!m_thread) return;
    m_thread->quit();
    m_thread->wait();
}

void HttpHost::launch() {
    const config::Settings settings(m_iniFilePath, m_homeFolder);
    const auto read = readHttpConfig(settings);
    const auto* off = std::get_if<HttpOff>(&read);
    if (off && !off->why.isEmpty()) refuse(off->why);
    const QString webhook = settings.text(config::setting::HttpWebhook).trimmed();
    const QUrl url(webhook, QUrl::StrictMode);
    const bool posting = !webhook.isEmpty() && url.isValid() &&
                         (url.scheme() == u"http" || url.scheme() == u"https");
    // The value may carry a password or a key: it is not repeated.
    if (!webhook.isEmpty() && !posting)
        refuse(QStringLiteral("неверный адрес Webhook (нужен URL http:// или https://)"));
    if (off && !posting) return;

    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("telvane-http"));
    // Made here so that no status is missed, then handed to their thread before that starts:
    // they listen, answer, post and end there, as their sockets must.
    if (!off) {
        m_server = new ApiServer(std::get<HttpConfig>(read), settings);
        m_server->moveToThread(m_thread.get());
        connect(this, &HttpHost::statusSeen, m_server, &ApiServer::setStatusText);
        connect(this, &HttpHost::networkSeen, m_server, &ApiServer::setNetworkText);
        QMetaObject::invokeMethod(
            m_server,
            [this] {
                const auto [line, listening] = m_server->start();
                if (listening)
                    emit announced(QStringLiteral("Веб-интерфейс: ") + line);
                else
                    refuse(line);
            },
            Qt::QueuedConnection);
    }
    if (posting) {
        m_sender = new WebhookSender(
            url, settings.text(config::setting::HttpToken).trimmed().toUtf8(), settings);
        m_sender->moveToThread(m_thread.get());
        QMetaObject::invokeMethod(m_sender, &WebhookSender::wake, Qt::QueuedConnection);
    }
    connect(
        m_thread.get(), &QThread::finished, this,
        [this] {
            delete m_server;
            m_server = nullptr;
            delete m_sender;
            m_sender = nullptr;
        },
        Qt::DirectConnection);
    m_thread->start();
}

void HttpHost::follow(gateway::EngineHost& engine) {
    connect(&engine, &gateway::EngineHost::statusChanged, this, &HttpHost::showStatus);
    connect(&engine, &gateway::EngineHost::networkChanged, this, &HttpHost::showNetwork);
}

void HttpHost::refuse(const QString& why) {
    const QString line = QStringLiteral("Веб-интерфейс не запущен: ") + why;
    emit announced(line);
    writeLog(config::Settings(m_iniFilePath, m_homeFolder), line);
}

}  // namespace telvane::http
