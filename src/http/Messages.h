#pragma once
// The outgoing messages as the API shows them: a new one put into the store's queue, and what
// became of one, as the store has it. The outbox alone decides a message's state; these only
// read it.

#include <QDateTime>
#include <QString>

#include "http/Replies.h"
#include "store/Store.h"

namespace telvane::config {
class Settings;
}

namespace telvane::http {

/// POST /api/v1/messages: {"to", "text", "report"} checked as the outbox checks a file, then
/// queued in the store under a new id, on the disk before the answer (202 {"id"}).
Reply postMessage(store::Store& store, const config::Settings& settings, const QByteArray& body,
                  const QDateTime& now);

/// GET /api/v1/messages/{id}.
Reply messageState(store::Store& store, const QString& id);

/// GET /api/v1/messages?limit=N: the newest outgoing messages, newest first.
Reply recentMessages(store::Store& store, int limit);

/// An id the API could have given: letters, digits, "-", "_", "." (never a path).
bool plausibleId(const QString& id);

}  // namespace telvane::http
