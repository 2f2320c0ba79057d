#include "send/OutgoingCheck.h"

#include "send/OutgoingFile.h"
#include "send/SendReasons.h"

namespace telvane::send {

namespace {

QString codeOf(OutgoingFileError error) {
    switch (error) {
        case OutgoingFileError::Empty:
            return QStringLiteral("empty_file");
        case OutgoingFileError::NoSeparator:
            return QStringLiteral("no_separator");
        case OutgoingFileError::TooLarge:
            return QStringLiteral("too_large");
        case OutgoingFileError::Unreadable:
        case OutgoingFileError::NotOrdinary:
            break;
    }
    return QStringLiteral("unreadable");
}

QString codeOf(codec::SubmitErrorCode code) {
    switch (code) {
        case codec::SubmitErrorCode::EmptyNumber:
            return QStringLiteral("empty_number");
        case codec::SubmitErrorCode::NumberNotDigits:
            return QStringLiteral("number_not_digits");
        case codec::SubmitErrorCode::NumberTooLong:
            return QStringLiteral("number_too_long");
        case codec::SubmitErrorCode::SmscNotDigits:
        case codec::SubmitErrorCode::SmscTooLong:
            return QStringLiteral("smsc_setting");
        case codec::SubmitErrorCode::EmptyText:
            return QStringLiteral("empty_text");
        case codec::SubmitErrorCode::InvalidCharacter:
            return QStringLiteral("invalid_character");
        case codec::SubmitErrorCode::TooManyParts:
            return QStringLiteral("too_many_parts");
    }
    return QStringLiteral("refused");
}

}  // namespace

std::optional<OutgoingRefusal> checkOutgoing(const QByteArray& bytes, codec::TextEncoding encoding,
                                             const QString& separator,
                                             const codec::SubmitOptions& options) {
    if (bytes.size() > static_cast<qsizetype>(kMaxOutgoingFileBytes))
        return OutgoingRefusal{codeOf(OutgoingFileError::TooLarge),
                               reasonText(OutgoingFileError::TooLarge)};
    const std::string_view raw(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const OutgoingFileResult split =
        splitOutgoingFile(codec::readUserText(raw, encoding).text, separator.toStdU32String());
    if (const auto* problem = std::get_if<OutgoingFileError>(&split))
        return OutgoingRefusal{codeOf(*problem), reasonText(*problem)};
    const auto& fields = std::get<OutgoingFields>(split);
    const codec::SubmitResult encoded =
        codec::encodeSubmit(codec::unicodeToUtf8(fields.number), fields.text, options);
    if (const auto* refused = std::get_if<codec::SubmitError>(&encoded))
        return OutgoingRefusal{codeOf(refused->code), reasonText(*refused),
                               refused->field == codec::SubmitField::Smsc};
    return std::nullopt;
}

}  // namespace telvane::send
