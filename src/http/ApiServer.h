#pragma once
// The HTTP interface on its own thread: the API, /metrics and the status page. It never calls
// into the engine: it reads the engine's counters, the status lines the engine reports, and the
// files the gateway keeps, and it hands new messages over by writing them into the send folder.

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include "config/Settings.h"
#include "http/HttpConfig.h"
#include "http/Replies.h"
#include "store/Store.h"

class QHttpServerRequest;

namespace telvane::http {

/// Requests a second per client address: a bucket of `perSecond` requests, refilled as time
/// goes.
class RateLimiter {
public:
    explicit RateLimiter(int perSecond) : m_perSecond(perSecond) {}
    bool allow(const QHostAddress& client, qint64 nowMs);

private:
    struct Bucket {
        double tokens = 0;
        qint64 lastMs = 0;
    };
    int m_perSecond;
    QHash<QString, Bucket> m_buckets;
};

/// Compares in a time that does not depend on where the two differ.
bool sameSecret(const QByteArray& given, const QByteArray& expected);

class ApiServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxBody = 64 * 1024;

    /// `openStore` gives the interface's thread its connection to the store.
    ApiServer(HttpConfig config, config::Settings settings, store::StoreOpener openStore,
              QObject* parent = nullptr);

    /// Listens as configured; the line to show (address, or why not) and whether it listens.
    std::pair<QString, bool> start();

public slots:
    void setStatusText(const QString& text) { m_statusText = text; }
    void setNetworkText(const QString& text) { m_networkText = text; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Reply answer(const QHttpServerRequest& request);
    Reply api(const QHttpServerRequest& request, const QString& path);
    Reply status();
    bool authorized(const QHttpServerRequest& request) const;
    /// This thread's connection, opened at the first request that needs it.
    store::Store& store();

    HttpConfig m_config;
    config::Settings m_settings;
    store::StoreOpener m_openStore;
    std::unique_ptr<store::Store> m_store;
    RateLimiter m_limiter;
    QElapsedTimer m_clock;
    QString m_statusText = QStringLiteral("Telvane");
    QString m_networkText;
};

}  // namespace telvane::http
