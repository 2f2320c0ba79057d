#pragma once
// The store every program of a home shares ("telvane.db" in the home folder, or a PostgreSQL
// server), ready before the engine and the HTTP interface open their connections to it.

#include <QString>
#include <functional>

#include "storage/LogFile.h"
#include "store/Store.h"

namespace telvane::services {

/// The store a program's threads open, and where gateways share it, its server.
struct PreparedStore {
    store::StoreOpener open;  ///< each thread calls it for its own connection
    QString sharedUrl;        ///< [Store] Url with Backend=postgresql; empty for telvane.db
};

/// Opens the store of `home` once ([Store] Backend: telvane.db there, or a PostgreSQL server),
/// creating or upgrading its tables, and carries the files of an older home into it; each line
/// worth telling (what was carried over, what could not be) goes to `say` and to `log`.
PreparedStore prepareStore(const QString& iniPath, const QString& home,
                           const std::function<void(const QString&)>& say, storage::LogWriter& log);

}  // namespace telvane::services
