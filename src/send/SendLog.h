#pragma once
// Lines of "Log.txt": date, TAB, time, TAB, message, CR LF, in Windows-1251.

#include <QDateTime>
#include <QString>

namespace telvane::send {

/// The line without its CR LF: "dd.MM.yyyy", TAB, "hh:mm:ss", TAB, message.
QString logLine(const QDateTime& now, const QString& message);

/// Appends the line to "Log.txt" in `logFolder` (a path ending in a separator). The folder is
/// not created; false when the line could not be written. A character that Windows-1251 lacks
/// is written as "?".
bool appendLogLine(const QString& logFolder, const QDateTime& now, const QString& message);

}  // namespace telvane::send
