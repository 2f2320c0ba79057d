#pragma once
// The store every program of a home shares, "telvane.db" in the home folder, ready before the
// engine and the HTTP interface open their connections to it.

#include <QString>
#include <functional>
#include <memory>

#include "storage/LogFile.h"
#include "store/QueueBell.h"
#include "store/Store.h"

namespace telvane::services {

/// Opens the store of `home` once ([Store] Backend: telvane.db there, or a PostgreSQL server),
/// creating or upgrading its tables, and carries the files of an older home into it; each line
/// worth telling (what was carried over, what could not be) goes to `say` and to `log`. The
/// opener each thread then uses for its own connection.
store::StoreOpener prepareStore(const QString& iniPath, const QString& home,
                                const std::function<void(const QString&)>& say,
                                storage::LogWriter& log);

/// Where gateways share a server, what tells this one that a message was queued by any of
/// them; none for telvane.db, where only this gateway's own HTTP interface queues.
std::unique_ptr<store::QueueBell> queueBell(const QString& iniPath, const QString& home);

}  // namespace telvane::services
