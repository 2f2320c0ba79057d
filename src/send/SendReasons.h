#pragma once
// The "Log.txt" messages of the outbox, and the reasons they give.

#include <QString>

#include "codec/SubmitError.h"
#include "send/OutgoingFile.h"

namespace telvane::send {

/// Why a file holds no message: "файл пуст", "нет разделителя", ...
QString reasonText(OutgoingFileError error);
/// Why the encoder refused a message: "в номере есть знаки кроме цифр", ...
QString reasonText(const codec::SubmitError& error);

/// "Ошибка отправки сообщения: " + number + TAB + text: the phone did not take the message.
QString notSentLine(const QString& number, const QString& text);
/// The same line, then TAB and why the message cannot be sent as it is.
QString refusedLine(const QString& number, const QString& text, const codec::SubmitError& error);
/// "Ошибка чтения файла сообщения: " + name + TAB + why.
QString fileProblemLine(const QString& name, OutgoingFileError error);
/// "Ошибка удаления отправленного файла: " + name: sent, kept, and not to be sent again.
QString notDeletedLine(const QString& name);

}  // namespace telvane::send
