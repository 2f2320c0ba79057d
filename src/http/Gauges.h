#pragma once
// Figures the interface reads for itself, apart from the engine's counters: the send folder's
// queue, and the received-message index.

#include <QDateTime>
#include <QString>
#include <optional>

#include "http/Replies.h"

namespace telvane::config {
class Settings;
}
namespace telvane::contracts {
struct EngineFigures;
}

namespace telvane::http {

struct QueueFigures {
    int files = 0;
    std::optional<qint64> oldestAgeSeconds;  ///< none while the queue is empty
};

/// The outgoing files waiting in the send folder, as the outbox lists them.
QueueFigures queueFigures(const config::Settings& settings, const QDateTime& now);

/// GET /metrics: the Prometheus text format (version 0.0.4).
QByteArray metricsText(const contracts::EngineFigures& figures, const QueueFigures& queue);

/// GET /api/v1/inbox?after=&limit=.
Reply inboxPage(const config::Settings& settings, qint64 after, int limit);

/// The sequence number of the newest received message, 0 for none.
qint64 newestReceived(const config::Settings& settings);

}  // namespace telvane::http
