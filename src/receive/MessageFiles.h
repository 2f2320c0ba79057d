#pragma once
// The received-message files of the receive folder, one per day, and the "Log.txt" lines.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "receive/FileSystem.h"

namespace telvane::receive {

/// The day's received-message file name: "yy-mm-dd" followed by ".txt" (FileType 0), ".doc"
/// (1), ".xls" (2), or nothing for any other FileType. 5 December 2026, FileType 0: 26-12-05.txt.
QString DayFileName(const QDate& day, qint32 fileType);

/// One line of the text layout: the fields joined by TAB, each CR LF, lone CR or LF and TAB
/// inside a field made one blank, in Windows-1251 (a character the code page lacks becomes
/// "?"), ended by CR LF.
QByteArray textLine(const QStringList& fields);

/// The "Log.txt" line: date (dd.MM.yyyy), TAB, time (hh:mm:ss), TAB, message, as textLine.
QByteArray logLine(const QDateTime& when, const QString& message);
/// The same with a message of several TAB-separated fields (the outbox logs number TAB text).
QByteArray logLine(const QDateTime& when, const QStringList& messageFields);

/// How a record is stored, as FileType gives it.
struct StoreTarget {
    qint32 mode = 0;          ///< 0 text, 1 Word document, 2 Excel workbook
    bool autoScroll = false;  ///< the workbook scrolls to the new row
};

/// Appends one record (time stamp, number, text; for a log line date, time, message) to the
/// file at `path`. Text mode appends ".txt" to a path that ends neither in ".tmp" nor in ".txt"
/// and writes through `files` (durable, cut back on a failed write); modes 1 and 2 go to the
/// Word and Excel writers; any other mode stores nothing and fails.
WriteResult WriteMessageFile(FileSystem& files, QString path, const QStringList& record,
                             const StoreTarget& target);

/// The whole file as bytes, or nullopt when it cannot be read.
std::optional<QByteArray> ReadWholeFile(const FileSystem& files, const QString& path);

/// Appends a logLine to `folder` + "Log.txt". A log that cannot be written is reported by the
/// result only; there is nowhere else to write it.
WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                      const QString& message);
WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                      const QStringList& messageFields);

}  // namespace telvane::receive
