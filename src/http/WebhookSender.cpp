#include "http/WebhookSender.h"

#include <QDateTime>
#include <QMessageAuthenticationCode>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "http/HttpConfig.h"
#include "store/ReopeningStore.h"

namespace telvane::http {

namespace {
// Events come at the pace of polls: a look once a second is as soon as anyone needs them.
constexpr int kLookMs = 1000;
constexpr int kReplyTimeoutMs = 10000;
// Renewed at every look: three replies' time, so that a slow receiver does not cost the lead.
constexpr int kLeadSeconds = 30;
}  // namespace

QByteArray signatureOf(const QByteArray& timestamp, const QByteArray& body,
                       const QByteArray& token) {
    return "sha256=" + QMessageAuthenticationCode::hash(timestamp + '.' + body, token,
                                                        QCryptographicHash::Sha256)
                           .toHex();
}

WebhookSender::WebhookSender(QUrl url, QByteArray token, store::StoreOpener openStore,
                             QString gateway, storage::LogWriter& log, QObject* parent)
    : QObject(parent),
      m_url(std::move(url)),
      m_token(std::move(token)),
      m_openStore(std::move(openStore)),
      m_gateway(std::move(gateway)),
      m_log(log),
      m_network(this),
      m_timer(this) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &WebhookSender::wake);
}

store::Store& WebhookSender::store() {
    if (!m_store) m_store = std::make_unique<store::ReopeningStore>(m_openStore);
    return *m_store;
}

void WebhookSender::wake() {
    if (m_busy) return;
    // Where gateways share a store, one of them posts the events, so that each goes once and
    // in order; another takes over once its lease has run out.
    const auto leading = store().lead(QStringLiteral("webhooks"), m_gateway,
                                      QDateTime::currentDateTime(), kLeadSeconds);
    if (!leading || !*leading) {
        m_timer.start(kLookMs);
        return;
    }
    const auto next = store().nextEvent(m_delivered);
    if (!next || !next->has_value()) {
        m_timer.start(kLookMs);
        return;
    }
    const qint64 id = next->value().id;
    const QByteArray event = next->value().body;
    QNetworkRequest request(m_url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("User-Agent", "Telvane");
    if (!m_token.isEmpty()) {
        const QByteArray timestamp = QByteArray::number(QDateTime::currentSecsSinceEpoch());
        request.setRawHeader("X-Telvane-Timestamp", timestamp);
        request.setRawHeader("X-Telvane-Signature", signatureOf(timestamp, event, m_token));
    }
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kReplyTimeoutMs);
    m_busy = true;
    QNetworkReply* reply = m_network.post(request, event);
    connect(reply, &QNetworkReply::finished, this, [this, reply, id] { finished(reply, id); });
}

void WebhookSender::finished(QNetworkReply* reply, qint64 event) {
    reply->deleteLater();
    m_busy = false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        const auto dropped = store().eventDelivered(event, QDateTime::currentDateTime());
        if (dropped) m_delivered = event;
        if (!dropped) {
            // Left in the queue, it would be posted again and again.
            log(QStringLiteral("Очередь Webhook не записывается: ") + dropped.error().message);
            m_timer.start(kLongestPauseMs);
            return;
        }
        if (m_failing) log(QStringLiteral("Webhook снова принимает события: ") + urlForLog(m_url));
        m_failing = false;
        m_pauseMs = 1000;
        m_timer.start(0);
        return;
    }
    if (!m_failing)
        log(QStringLiteral("Webhook не принял событие: ") + urlForLog(m_url) + u' ' +
            (status >= 300 && status < 400
                 ? QString::number(status) + QStringLiteral(" (переадресация не выполняется)")
             : status ? QString::number(status)
                      : withoutSecrets(reply->errorString())));
    m_failing = true;
    m_timer.start(m_pauseMs);
    m_pauseMs = std::min(m_pauseMs * 2, kLongestPauseMs);
}

QString WebhookSender::withoutSecrets(QString text) const {
    // Qt's own error texts may quote the whole address.
    for (const QString& secret :
         {m_url.password(QUrl::FullyEncoded), m_url.password(), m_url.userName(QUrl::FullyEncoded),
          m_url.userName(), m_url.query(QUrl::FullyEncoded), m_url.query()})
        if (!secret.isEmpty()) text.replace(secret, QStringLiteral("..."));
    return text;
}

void WebhookSender::log(const QString& line) const { (void)m_log.write({line}); }

}  // namespace telvane::http
