#pragma once
// The message events that wait to be posted to [Http] Webhook: "webhook.queue" in the home
// folder, one JSON object per line, oldest first. The gateway appends an event once its message
// is on the disk; the sender takes the first line off once the receiver has accepted it. The
// file survives restarts, so an event waits until the receiver is back, and it is bounded:
// beyond kMaxBytes new events are dropped and "Log.txt" says so.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "storage/DurableFile.h"

namespace telvane::lifecycle {

class EventQueue {
public:
    static constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

    /// @param homeFolder ends in a separator
    explicit EventQueue(const QString& homeFolder);

    static QString fileName() { return QStringLiteral("webhook.queue"); }

    /// Appends `event` with a new "eventId" (for receivers that see one twice after a crash),
    /// on the disk before it returns. Fails without writing when the queue is full.
    storage::WriteResult append(QJsonObject event) const;
    /// The oldest event, empty when none waits.
    QByteArray first() const;
    /// Takes the oldest event off, when it is still `event`.
    storage::WriteResult dropFirst(const QByteArray& event) const;

private:
    QString m_path;
};

}  // namespace telvane::lifecycle
