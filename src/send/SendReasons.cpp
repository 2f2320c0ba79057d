#include "send/SendReasons.h"

namespace telvane::send {

namespace {

// One row per reason: the code of the HTTP interface, the outbox's words in "Log.txt", the
// English of the status files. %1 stands for the largest file in megabytes.
struct FileErrorRow {
    OutgoingFileError error;
    const char* code;
    const char* russian;
    const char* english;
};

constexpr FileErrorRow kFileErrors[] = {
    {OutgoingFileError::Unreadable, "unreadable", "файл не читается", "unreadable file"},
    {OutgoingFileError::NotOrdinary, "unreadable", "не обычный файл (ссылка не читается)",
     "not an ordinary file"},
    {OutgoingFileError::TooLarge, "too_large", "файл больше %1 МБ", "larger than %1 MB"},
    {OutgoingFileError::Empty, "empty_file", "файл пуст", "empty file"},
    {OutgoingFileError::NoSeparator, "no_separator", "нет разделителя", "no separator"},
};

QString textOf(OutgoingFileError error, const char* FileErrorRow::*text) {
    for (const FileErrorRow& row : kFileErrors) {
        if (row.error != error) continue;
        QString filled = QString::fromUtf8(row.*text);
        if (filled.contains(u'%')) filled = filled.arg(kMaxOutgoingFileBytes / (1024 * 1024));
        return filled;
    }
    return {};
}

}  // namespace

QString reasonText(OutgoingFileError error) { return textOf(error, &FileErrorRow::russian); }

QString englishReason(OutgoingFileError error) { return textOf(error, &FileErrorRow::english); }

QString apiCode(OutgoingFileError error) { return textOf(error, &FileErrorRow::code); }

QString reasonText(const codec::SubmitError& error) {
    return QString::fromStdString(codec::textsOf(error).russian);
}

LogLine notSentLine(const QString& number, const QString& text) {
    return {QStringLiteral("Ошибка отправки сообщения: ") + number, text};
}

LogLine refusedLine(const QString& number, const QString& text, const codec::SubmitError& error) {
    return notSentLine(number, text) << reasonText(error);
}

LogLine numberSentLine(const QString& written, const codec::Destination& sent) {
    QString line = QStringLiteral("Номер ") + written + QStringLiteral(" отправлен как ") +
                   QString::fromStdString(sent.text());
    if (sent.typeOfAddress == codec::kUnknownNumberType) line += QStringLiteral(" (тип 81)");
    return {line};
}

LogLine readAsLine(const QString& name, codec::TextEncoding readAs) {
    return {QStringLiteral("Файл сообщения прочитан как ") +
            (readAs == codec::TextEncoding::Utf8 ? QStringLiteral("UTF-8: ")
                                                 : QStringLiteral("Windows-1251: ")) +
            name};
}

LogLine fileProblemLine(const QString& name, OutgoingFileError error) {
    return {QStringLiteral("Ошибка чтения файла сообщения: ") + name, reasonText(error)};
}

LogLine notDeletedLine(const QString& name, const QString& aside) {
    LogLine line{QStringLiteral("Ошибка удаления отправленного файла: ") + name};
    if (!aside.isEmpty()) line << QStringLiteral("переименован в ") + aside;
    return line;
}

LogLine notArchivedLine(const QString& name) {
    return {QStringLiteral("Отправленный файл не перенесён в Sent: ") + name};
}

LogLine notRecordedLine(const QString& name, const QString& aside) {
    LogLine line{QStringLiteral("Отправленное сообщение не записано в хранилище: ") + name};
    if (!aside.isEmpty()) line << QStringLiteral("переименован в ") + aside;
    return line;
}

LogLine sendingHeldLine(const QString& why) {
    return {QStringLiteral("Отправка остановлена: хранилище не записывается: ") + why};
}

LogLine unconfirmedLine(const QString& id, const QString& file, bool resend) {
    LogLine line{QStringLiteral("Отправка сообщения не подтверждена: ") + id};
    if (!file.isEmpty()) line << file;
    line << (resend ? QStringLiteral("будет отправлено снова")
                    : QStringLiteral("отложено до решения оператора"));
    return line;
}

LogLine notHeldLine(const QString& id, const QString& file) {
    return {QStringLiteral("Неподтверждённое сообщение не отложено: ") + id, file};
}

}  // namespace telvane::send
