#include "send/SendReasons.h"

namespace telvane::send {

QString reasonText(OutgoingFileError error) {
    switch (error) {
        case OutgoingFileError::Unreadable:
            return QStringLiteral("файл не читается");
        case OutgoingFileError::NotOrdinary:
            return QStringLiteral("не обычный файл (ссылка не читается)");
        case OutgoingFileError::TooLarge:
            return QStringLiteral("файл больше 1 МБ");
        case OutgoingFileError::Empty:
            return QStringLiteral("файл пуст");
        case OutgoingFileError::NoSeparator:
            return QStringLiteral("нет разделителя");
    }
    return {};
}

QString englishReason(OutgoingFileError error) {
    switch (error) {
        case OutgoingFileError::Unreadable:
            return QStringLiteral("unreadable file");
        case OutgoingFileError::NotOrdinary:
            return QStringLiteral("not an ordinary file");
        case OutgoingFileError::TooLarge:
            return QStringLiteral("larger than 1 MB");
        case OutgoingFileError::Empty:
            return QStringLiteral("empty file");
        case OutgoingFileError::NoSeparator:
            return QStringLiteral("no separator");
    }
    return {};
}

QString reasonText(const codec::SubmitError& error) {
    using codec::SubmitErrorCode;
    const QString at = QStringLiteral(" (позиция %1)").arg(error.offset + 1);
    switch (error.code) {
        case SubmitErrorCode::EmptyNumber:
            return QStringLiteral("номер пуст");
        case SubmitErrorCode::NumberNotDigits:
            return QStringLiteral("в номере есть знаки кроме цифр") + at;
        case SubmitErrorCode::NumberTooLong:
            return QStringLiteral("в номере больше 20 цифр");
        case SubmitErrorCode::SmscNotDigits:
            return QStringLiteral("в номере SMS-центра (SMSC) есть знаки кроме цифр") + at;
        case SubmitErrorCode::SmscTooLong:
            return QStringLiteral("в номере SMS-центра (SMSC) больше 20 цифр");
        case SubmitErrorCode::EmptyText:
            return QStringLiteral("текст пуст");
        case SubmitErrorCode::InvalidCharacter:
            return QStringLiteral("недопустимый знак в тексте") + at;
        case SubmitErrorCode::TooManyParts:
            return QStringLiteral("текст длиннее 255 частей");
    }
    return {};
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
