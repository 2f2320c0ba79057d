#pragma once
// Lines of the gateway's text files: the TAB-separated line of a received-message day file and
// of "Log.txt", in Windows-1251 or UTF-8 ([SMS] Encoding), and the one writer of "Log.txt" that
// the engine, its hooks and the HTTP interface share.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>

#include "codec/Alphabets.h"
#include "storage/FileSystem.h"

namespace telvane::storage {

/// A field made fit for one line of a TAB-separated file: each CR LF, lone CR or LF, TAB and
/// NUL becomes one blank.
QString oneLine(QString field);
QStringList oneLineEach(const QStringList& fields);

/// One line of the text layout: the fields joined by TAB, each made oneLine, in `encoding`
/// (see codec::encodeText: in Windows-1251 a character the code page lacks becomes "?"), ended
/// by CR LF.
QByteArray textLine(const QStringList& fields,
                    codec::TextEncoding encoding = codec::TextEncoding::Cp1251);

/// The "Log.txt" line: date (dd.MM.yyyy), TAB, time (hh:mm:ss), TAB, the message's fields
/// (the outbox logs number TAB text), as textLine.
QByteArray logLine(const QDateTime& when, const QStringList& messageFields,
                   codec::TextEncoding encoding = codec::TextEncoding::Cp1251);

/// The writer of "Log.txt": built once where a program is put together, on its file system and
/// its wall clock, and handed to everything that writes a line. Any thread may write; each line
/// goes whole, after every line begun before it, in whatever writer of the process.
class LogWriter {
public:
    using Now = std::function<QDateTime()>;

    /// Lines go to `folder` (ends in a separator) in `encoding` until setPlace says otherwise.
    LogWriter(FileSystem& files, Now now, QString folder = {},
              codec::TextEncoding encoding = codec::TextEncoding::Cp1251);

    /// The Logs folder and [SMS] Encoding, as a Start reads them.
    void setPlace(const QString& folder, codec::TextEncoding encoding);

    /// Appends the line (date, time, `fields`) to "Log.txt", making its folder when missing (a
    /// fresh home has none). A line that cannot be written is said on the debug output with
    /// the reason, and the result says so; there is nowhere else to keep it.
    WriteResult write(const QStringList& fields);

private:
    FileSystem& m_files;
    Now m_now;
    std::mutex m_placeLock;
    QString m_folder;
    codec::TextEncoding m_encoding;
};

}  // namespace telvane::storage
