#pragma once
// The "Log.txt" messages of the outbox, and the reasons they give.

#include <QString>
#include <QStringList>

#include "codec/Alphabets.h"
#include "codec/Submit.h"
#include "codec/SubmitError.h"
#include "send/OutgoingFile.h"

namespace telvane::send {

/// Why a file holds no message: "файл пуст", "нет разделителя", ...
QString reasonText(OutgoingFileError error);
/// The same in English, for status files: "empty file", "no separator", ...
QString englishReason(OutgoingFileError error);
/// The same for the HTTP interface: "empty_file", "no_separator", ...
QString apiCode(OutgoingFileError error);
/// Why the encoder refused a message: "в номере есть знаки кроме цифр", ...
QString reasonText(const codec::SubmitError& error);

/// A "Log.txt" line of the outbox as its fields, TAB-separated when written; a TAB inside a
/// field (a file name, a text) becomes a blank there and adds no field.
using LogLine = QStringList;

/// "Ошибка отправки сообщения: " + number, text: the phone did not take the message.
LogLine notSentLine(const QString& number, const QString& text);
/// The same line, then why the message cannot be sent as it is.
LogLine refusedLine(const QString& number, const QString& text, const codec::SubmitError& error);
/// "Номер " + written + " отправлен как " + sent, and " (тип 81)" for a short code: a
/// number that went out otherwise than written.
LogLine numberSentLine(const QString& written, const codec::Destination& sent);
/// "Файл сообщения прочитан как UTF-8: " + name (or "как Windows-1251"): read otherwise than
/// [SMS] Encoding says.
LogLine readAsLine(const QString& name, codec::TextEncoding readAs);
/// "Ошибка чтения файла сообщения: " + name, why.
LogLine fileProblemLine(const QString& name, OutgoingFileError error);
/// "Ошибка удаления отправленного файла: " + name: sent, kept, and not to be sent again; with
/// `aside`, the name it was given instead ("переименован в " + aside).
LogLine notDeletedLine(const QString& name, const QString& aside = {});
/// "Отправленный файл не перенесён в Sent: " + name: sent and recorded, it waits in the send
/// folder until it can be moved.
LogLine notArchivedLine(const QString& name);
/// "Отправленное сообщение не записано в хранилище: " + name, and "переименован в " + aside
/// where it could be: sent, and never to be sent again.
LogLine notRecordedLine(const QString& name, const QString& aside);
/// "Отправка остановлена: хранилище не записывается: " + why: nothing is sent while a sending
/// could not be recorded.
LogLine sendingHeldLine(const QString& why);
/// "Отправка сообщения не подтверждена: " + id, the file, and what follows: sent again, or held
/// for a person ([SMS] Unconfirmed).
LogLine unconfirmedLine(const QString& id, const QString& file, bool resend);
/// "Неподтверждённое сообщение не отложено: " + id, the file: it could not be renamed aside.
LogLine notHeldLine(const QString& id, const QString& file);

}  // namespace telvane::send
