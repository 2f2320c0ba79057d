#pragma once
// Lines of the gateway's text files: the TAB-separated line of a received-message day file and
// of "Log.txt", in Windows-1251, and the one writer of "Log.txt" that inbox and outbox share.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "storage/FileSystem.h"

namespace telvane::storage {

/// A field made fit for one line of a TAB-separated file: each CR LF, lone CR or LF, TAB and
/// NUL becomes one blank.
QString oneLine(QString field);
QStringList oneLineEach(const QStringList& fields);

/// One line of the text layout: the fields joined by TAB, each made oneLine, in Windows-1251
/// (a character the code page lacks becomes "?"), ended by CR LF.
QByteArray textLine(const QStringList& fields);

/// The "Log.txt" line: date (dd.MM.yyyy), TAB, time (hh:mm:ss), TAB, message, as textLine.
QByteArray logLine(const QDateTime& when, const QString& message);
/// The same with a message of several TAB-separated fields (the outbox logs number TAB text).
QByteArray logLine(const QDateTime& when, const QStringList& messageFields);

/// Appends a logLine to `folder` + "Log.txt". A log that cannot be written is reported by the
/// result only; there is nowhere else to write it.
[[nodiscard]] WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                                    const QString& message);
[[nodiscard]] WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                                    const QStringList& messageFields);

}  // namespace telvane::storage
