#pragma once
// Lines of the gateway's text files: the TAB-separated line of a received-message day file and
// of "Log.txt", in Windows-1251 or UTF-8 ([SMS] Encoding), and the one writer of "Log.txt" that
// inbox, outbox and hooks share.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

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

/// Appends a logLine to `folder` + "Log.txt", one line at a time from any thread of the
/// program. A log that cannot be written is reported by the result only; there is nowhere
/// else to write it.
[[nodiscard]] WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                                    const QStringList& messageFields,
                                    codec::TextEncoding encoding = codec::TextEncoding::Cp1251);

}  // namespace telvane::storage
