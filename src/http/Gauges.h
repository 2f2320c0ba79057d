#pragma once
// Figures the interface reads for itself, apart from the engine's counters: the outgoing queue
// and the inbox, both from the store.

#include <QDateTime>
#include <QString>
#include <optional>

#include "contracts/EngineFigures.h"
#include "http/Replies.h"
#include "store/Store.h"

namespace telvane::http {

struct QueueFigures {
    int files = 0;                           ///< messages waiting to go out
    std::optional<qint64> oldestAgeSeconds;  ///< none while the queue is empty
};

/// The outgoing messages that wait, as the store has them; an empty queue when it cannot say.
QueueFigures queueFigures(store::Store& store, const QDateTime& now);

/// GET /metrics: the Prometheus text format (version 0.0.4); what is about a device carries a
/// `modem` label where there are several.
QByteArray metricsText(const contracts::GatewayFigures& modems, const QueueFigures& queue);

/// GET /api/v1/inbox?after=&limit=.
Reply inboxPage(store::Store& store, qint64 after, int limit);

/// GET /api/v1/stats?hours=N: messages sent, received and failed in each of the last `hours`
/// hours, the one that `now` is in last; hours begin on the hour of local time.
Reply hourlyTraffic(store::Store& store, int hours, const QDateTime& now);

/// The cursor of the newest received message, 0 for none.
qint64 newestReceived(store::Store& store);

}  // namespace telvane::http
