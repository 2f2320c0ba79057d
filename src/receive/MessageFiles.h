#pragma once
// The received-message files of the receive folder, one per day, and the "Log.txt" lines.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "codec/Alphabets.h"
#include "storage/FileSystem.h"

namespace telvane::receive {

/// The day's received-message file name: "yy-mm-dd" followed by ".txt" (FileType 0), ".doc"
/// (1), ".xls" (2), or nothing for any other FileType. 5 December 2026, FileType 0: 26-12-05.txt.
QString DayFileName(const QDate& day, qint32 fileType);

/// How a record is stored, as FileType gives it.
struct StoreTarget {
    qint32 mode = 0;          ///< 0 text, 1 Word document, 2 Excel workbook
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
/// file at `path`. Text mode appends ".txt" to a path that ends neither in ".tmp" nor in ".txt"
/// and writes through `files` (durable, cut back on a failed write); modes 1 and 2 go to the
/// Word and Excel writers, which may go on in a sibling of the day's file (`notes` says so);
/// any other mode stores nothing and fails.
storage::WriteResult WriteMessageFile(storage::FileSystem& files, QString path,
                                      const QStringList& record, const StoreTarget& target,
                                      OfficeNotes* notes = nullptr);

}  // namespace telvane::receive
