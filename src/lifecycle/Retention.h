#pragma once
// What is finished does not stay for ever: once a day the store forgets finished messages,
// delivered webhook events and received messages older than [Store] KeepDays, and the files of
// Sent and Failed older than [Folders] KeepDays go. Nothing waiting is touched, and the inbox's
// cursors stay valid.

#include <QDateTime>

#include "store/Store.h"

namespace telvane::config {
class Settings;
}

namespace telvane::lifecycle {

/// Tidies when a day has passed since the last time (kept in the store); how many store rows
/// and files went, or nothing when it was not due.
std::optional<qint64> tidy(store::Store& store, const config::Settings& settings,
                           const QDateTime& now);

}  // namespace telvane::lifecycle
