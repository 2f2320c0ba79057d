#pragma once
// The outgoing messages as the API shows them: a new one written into the send folder, and
// what became of one, read from the files the outbox leaves ("<id>.status" in Send, Sent or
// Failed). The outbox alone decides a message's state; these only read it.

#include <QDateTime>
#include <QString>

#include "http/Replies.h"

namespace telvane::config {
class Settings;
}

namespace telvane::http {

/// POST /api/v1/messages: {"to", "text", "report"} checked as the outbox checks a file, then
/// written into the send folder under a new id, on the disk before the answer (202 {"id"}).
Reply postMessage(const config::Settings& settings, const QByteArray& body, const QDateTime& now);

/// GET /api/v1/messages/{id}.
Reply messageState(const config::Settings& settings, const QString& id);

/// GET /api/v1/messages?limit=N: the newest outgoing messages, newest first.
Reply recentMessages(const config::Settings& settings, int limit);

/// An id the API could have given: letters, digits, "-", "_", "." (never a path).
bool plausibleId(const QString& id);

}  // namespace telvane::http
