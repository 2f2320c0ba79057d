#pragma once
// The received-message files of the receive folder, one per day, and the "Log.txt" lines.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "codec/Alphabets.h"
#include "contracts/PollContext.h"
#include "storage/FileSystem.h"

namespace telvane::receive {

/// The day's received-message file name: "yy-mm-dd" followed by ".txt", ".doc" or ".xls", or
/// nothing where FileType names no format. 5 December 2026, a text file: 26-12-05.txt.
QString DayFileName(const QDate& day, std::optional<contracts::DayFileFormat> format);

/// How a record is stored, as FileType gives it.
struct StoreTarget {
    std::optional<contracts::DayFileFormat> format = contracts::DayFileFormat::Text;
    bool autoScroll = false;  ///< the workbook scrolls to the new row
    codec::TextEncoding encoding = codec::TextEncoding::Cp1251;  ///< of a text file
};

/// What the Word and Excel writers tell beside their result, for Log.txt.
struct OfficeNotes {
    QString file;       ///< the file written or tried: the day's file or a sibling of it
    QString lockFile;   ///< the lock file of the office program that holds it open
    QStringList lines;  ///< a stale lock file passed, a sibling started for the rest of the day
};

/// Appends one record (time stamp, number, text; for a log line date, time, message) to the
/// file at `path`. A text file gets ".txt" appended to a path that ends neither in ".tmp" nor in
/// ".txt" and is written through `files` (durable, cut back on a failed write); a document or a
/// workbook goes to the Word and Excel writers, which may go on in a sibling of the day's file
/// (`notes` says so); without a format nothing is stored and the write fails.
storage::WriteResult WriteMessageFile(storage::FileSystem& files, QString path,
                                      const QStringList& record, const StoreTarget& target,
                                      OfficeNotes* notes = nullptr);

}  // namespace telvane::receive
