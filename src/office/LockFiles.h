#pragma once
// Office programs mark a file they hold open with a lock file beside it.

#include <QString>
#include <optional>

namespace telvane::office {

struct OfficeLock {
    QString path;        ///< the lock file
    bool stale = false;  ///< left by a LibreOffice of this machine that no longer runs
    QString owner;       ///< "user@host" as a LibreOffice lock file names them, else empty
};

/// The lock file of LibreOffice (".~lock.NAME#") or Microsoft Office ("~$NAME", or the name
/// with its first one or two characters replaced by "~$", as Word does) that lies beside @p path.
/// Microsoft Office's owner files name no process, so they always count as live.
std::optional<OfficeLock> findOfficeLockFile(const QString& path);

/// The fields of a LibreOffice lock file: full name, user, host, time, profile URL (commas,
/// semicolons and backslashes inside a field escaped by a backslash).
QStringList libreOfficeLockFields(const QByteArray& content);

}  // namespace telvane::office
