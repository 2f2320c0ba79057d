#pragma once
// Posts the events the store keeps for [Http] Webhook, one at a time and in order, on the
// interface's thread. An event leaves the queue only once the receiver answered 2xx; until then
// it is tried again after 1, 2, 4... up to 30 seconds. "Log.txt" says when the receiver stops
// taking events and when it takes them again, not at every try, naming the receiver by scheme,
// host, port and path only. A redirect is not followed: the signed event goes nowhere but to
// the address the operator set, and a 3xx counts as not taken.

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include "storage/LogFile.h"
#include "store/Store.h"

class QNetworkReply;

namespace telvane::http {

/// "sha256=" and the hexadecimal HMAC-SHA256 of `timestamp` "." `body` keyed with `token`: the
/// header X-Telvane-Signature, beside X-Telvane-Timestamp (seconds since 1970, UTC), so that a
/// receiver can refuse an event replayed later.
QByteArray signatureOf(const QByteArray& timestamp, const QByteArray& body,
                       const QByteArray& token);

class WebhookSender final : public QObject {
    Q_OBJECT
public:
    static constexpr int kLongestPauseMs = 30000;

    /// `openStore` gives the sender's thread its connection to the store; `gateway` is this
    /// gateway's name among those sharing it; `log` takes its "Log.txt" lines and must outlive
    /// this.
    WebhookSender(QUrl url, QByteArray token, store::StoreOpener openStore, QString gateway,
                  storage::LogWriter& log, QObject* parent = nullptr);

public slots:
    /// Looks at the queue now (a poll may have added events).
    void wake();

private:
    void finished(QNetworkReply* reply, qint64 event);
    store::Store& store();
    QString withoutSecrets(QString text) const;
    void log(const QString& line) const;

    QUrl m_url;
    QByteArray m_token;
    store::StoreOpener m_openStore;
    QString m_gateway;
    storage::LogWriter& m_log;
    std::unique_ptr<store::Store> m_store;
    QNetworkAccessManager m_network;
    QTimer m_timer;
    qint64 m_delivered = 0;  ///< the last event the receiver took: the next comes after it
    bool m_busy = false;
    bool m_failing = false;
    int m_pauseMs = 1000;
};

}  // namespace telvane::http
