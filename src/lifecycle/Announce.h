#pragma once
// An event of a message's life told to whoever listens, once the message is safe on the disk:
// the [Hooks] program, and the webhook receiver through the store's event queue.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "lifecycle/Hooks.h"
#include "storage/LogFile.h"
#include "store/Store.h"

namespace telvane::config {
class Settings;
}

namespace telvane::lifecycle {

/// The JSON body the webhook receiver gets: event, id, number, time, text, file, status, and a
/// new "eventId" (for receivers that see one twice after a crash).
QByteArray webhookBody(const HookMessage& message);

/// Where an event goes: the hooks (none when null) and the store's webhook queue.
struct Listeners {
    HookRunner* hooks = nullptr;
    store::Store& store;
    const config::Settings& settings;
    storage::LogWriter& log;
};

/// Queues the hook set for the event and, when [Http] Webhook is set, the webhook event; an
/// event the store does not take gets a "Log.txt" line (the message itself is safe).
void announce(const Listeners& listeners, const HookMessage& message, const QDateTime& now);

}  // namespace telvane::lifecycle
