#include <string>

#include "codec/Submit.h"

namespace telvane::codec {

std::string describe(const SubmitError& error) {
    const std::string at = " (offset " + std::to_string(error.offset) + ")";
    const std::string digits = std::to_string(kMaxAddressDigits);
    switch (error.code) {
        case SubmitErrorCode::EmptyNumber:
            return "number: empty";
        case SubmitErrorCode::NumberNotDigits:
            return "number: only digits and one leading '+' are allowed" + at;
        case SubmitErrorCode::NumberTooLong:
            return "number: more than " + digits + " digits" + at;
        case SubmitErrorCode::SmscNotDigits:
            return "SMSC: only digits and one leading '+' are allowed" + at;
        case SubmitErrorCode::SmscTooLong:
            return "SMSC: more than " + digits + " digits" + at;
        case SubmitErrorCode::EmptyText:
            return "text: empty once line breaks and spaces are removed";
        case SubmitErrorCode::InvalidCharacter:
            return "text: a code point that is not a character" + at;
        case SubmitErrorCode::TooManyParts:
            return "text: needs more than " + std::to_string(kMaxParts) + " parts" + at;
    }
    return "unknown error";
}

}  // namespace telvane::codec
