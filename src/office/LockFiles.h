#pragma once
// Office programs mark a file they hold open with a lock file beside it.

#include <QString>
#include <optional>

namespace telvane::office {

/// The lock file of LibreOffice (".~lock.NAME#") or Microsoft Office ("~$NAME", or the name
/// with its first one or two characters replaced by "~$", as Word does) that lies beside @p path.
std::optional<QString> findOfficeLockFile(const QString& path);

}  // namespace telvane::office
