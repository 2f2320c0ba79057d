#pragma once
// Why a message cannot be sent: the encoder refuses instead of building a PDU that the phone
// or the network would reject or deliver garbled.

#include <cstddef>
#include <string>

namespace telvane::codec {

enum class SubmitErrorCode {
    EmptyNumber,       ///< the destination number is empty
    NumberNotDigits,   ///< the destination holds a character other than digits and one leading "+"
    NumberTooLong,     ///< the destination has more than kMaxAddressDigits digits
    SmscNotDigits,     ///< the SMSC setting holds a character other than digits and one leading "+"
    SmscTooLong,       ///< the SMSC setting has more than kMaxAddressDigits digits
    EmptyText,         ///< nothing is left of the text once line breaks and spaces are removed
    InvalidCharacter,  ///< a code point that is no character (a lone surrogate, above U+10FFFF)
    TooManyParts,      ///< the text needs more than kMaxParts parts
};

/// Which input a SubmitError is about.
enum class SubmitField { Number, Smsc, Text };

struct SubmitError {
    SubmitErrorCode code;
    SubmitField field;
    /// Character offset in that field, as it was passed in (for TooManyParts: the offset in the
    /// prepared text where part kMaxParts + 1 would begin).
    std::size_t offset = 0;
};

/// What a refusal says, each text made from one row per SubmitErrorCode.
struct SubmitErrorTexts {
    std::string code;     ///< machine-readable, for the HTTP interface: "number_not_digits"
    std::string english;  ///< for logs and the command line: "number: ... (offset 3)"
    std::string russian;  ///< the outbox's own words in "Log.txt": "... (позиция 4)"
};
SubmitErrorTexts textsOf(const SubmitError& error);

/// One line of English saying what is wrong and where, for logs and the command line.
std::string describe(const SubmitError& error);

}  // namespace telvane::codec
