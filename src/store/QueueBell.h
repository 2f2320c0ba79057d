#pragma once
// Hears, through a shared PostgreSQL server, that some gateway queued a message, so that an idle
// gateway sends it at once rather than at its next poll. It only hastens: a notification lost
// while the server was away costs that wait, never the message, since every poll looks anyway.

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QSocketNotifier;

namespace telvane::store {

namespace postgres {
class Connection;
}

/// The channel a gateway notifies when it queues a message (or a lapsed claim puts one back).
inline constexpr char kQueuedChannel[] = "telvane_queued";

class QueueBell final : public QObject {
    Q_OBJECT
public:
    /// How long after a failed or lost connection the next try is.
    static constexpr int kRetryMs = 5000;

    /// Listens on the server of `url` (a libpq connection string), from now on and again after
    /// every reconnection; nothing is heard until the server answers.
    explicit QueueBell(QString url, QObject* parent = nullptr);
    ~QueueBell() override;

signals:
    /// A message may be waiting. Also once each time the bell listens again, for what was
    /// queued while it could not hear.
    void rang();

private:
    void listen();
    void read();

    QString m_url;
    std::unique_ptr<postgres::Connection> m_db;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_retry;
};

}  // namespace telvane::store
