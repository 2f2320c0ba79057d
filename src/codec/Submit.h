#pragma once
// SMS-SUBMIT PDUs (3GPP TS 23.040 clause 9.2.2.2) for the gateway's outgoing messages: the
// text in the GSM 7-bit default alphabet when every character is in it or in its extension
// table, else in UCS2; a long text as concatenated parts with an 8-bit reference.
//
// Pure functions: the settings come in as values, and the LongID to keep goes out as a value.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "codec/Protocol.h"
#include "codec/SubmitError.h"

namespace telvane::codec {

/// TP-DCS of a submitted message.
enum class SubmitCoding {
    Gsm7,  ///< TP-DCS 00: GSM 7-bit default alphabet with its extension table
    Ucs2,  ///< TP-DCS 08: UTF-16 big-endian
};

/// Parts of a concatenated message: the part count is one octet.
inline constexpr std::size_t kMaxParts = 255;
/// Septets of a single 7-bit message, and of the text of one part after the header.
inline constexpr std::size_t kGsm7SingleSeptets = 160;
inline constexpr std::size_t kGsm7PartSeptets = 153;
/// UTF-16 code units of a single UCS2 message, and of the text of one part.
inline constexpr std::size_t kUcs2SingleUnits = 70;
inline constexpr std::size_t kUcs2PartUnits = 67;

/// The [SMS] settings that shape a message.
struct SubmitOptions {
    /// SMS centre number, digits with an optional leading "+". Empty: the phone uses the
    /// centre it has stored (SMSC length octet 00).
    std::string smsc;
    /// Ask for a delivery report (once per message: a long message asks on its last part).
    bool report = false;
    /// Transliterate Russian Cyrillic to Latin before the coding is chosen.
    bool toLatin = false;
    /// The stored LongID: the reference of the previous long message.
    int lastLongId = 1;
};

struct SubmitPart {
    std::string pdu;         ///< whole PDU, upper-case hex, SMSC part first
    std::size_t tpduLength;  ///< octets after the SMSC part: the length that AT+CMGS takes
    SubmitCoding coding;
    std::size_t number;  ///< 1 for the first part (and for a single message)
    std::size_t count;   ///< parts of the message; 1 for a single message
};

/// Type of address octets of TS 23.040 clause 9.1.2.5 (ISDN/telephone numbering plan).
inline constexpr std::uint8_t kInternationalNumber = 0x91;
inline constexpr std::uint8_t kUnknownNumberType = 0x81;

/// A destination as it goes out.
struct Destination {
    std::string digits;
    std::uint8_t typeOfAddress = kInternationalNumber;

    /// As a received PDU shows the same address: "+" and the digits when international.
    std::string text() const {
        return typeOfAddress == kInternationalNumber ? "+" + digits : digits;
    }
};

/// How a written number goes out. Spaces around it are ignored, then an optional leading "+"
/// and 1 to 20 digits:
/// - written with "+": international, as written;
/// - 11 digits starting with "8" (the Russian domestic form): international, "8" sent as "7";
/// - 3 to 6 digits: a short code, type unknown (81), as written: operators reject a short
///   code sent as international;
/// - anything else: international, as written.
std::variant<Destination, SubmitError> destinationOf(std::string_view number);

struct SubmitMessage {
    std::vector<SubmitPart> parts;  ///< in sending order
    Destination destination;        ///< the number as it goes out
    /// The text as it was encoded: line breaks removed, spaces trimmed, transliterated.
    std::u32string text;
    /// The LongID to store: the reference this message used when it is long, else
    /// SubmitOptions::lastLongId unchanged.
    int longId;
};

using SubmitResult = std::variant<SubmitMessage, SubmitError>;

/// Builds the PDUs that send `text` to `number`.
///
/// The number goes out as destinationOf says. The text: line feeds and carriage returns are
/// removed, spaces (only) trimmed at both ends, then transliterated when options.toLatin.
/// Fails, sending nothing, on a bad number or SMSC, an empty text, a code point that is no
/// character, or a text of more than kMaxParts parts. A failure does not advance the LongID.
SubmitResult encodeSubmit(std::string_view number, std::u32string_view text,
                          const SubmitOptions& options);

/// The reference of the next long message after `lastLongId`: one more, 1 after 255. A value
/// outside 1..255 (a hand-edited or damaged setting) also starts again at 1.
int nextLongId(int lastLongId);

/// The coding `text` goes out in: Gsm7 when every character is in the default alphabet or its
/// extension table (the empty text included), else Ucs2.
SubmitCoding chooseCoding(std::u32string_view text);

/// The text as the encoder sends it: line breaks removed, spaces trimmed, and transliterated
/// when `toLatin`.
std::u32string prepareText(std::u32string_view text, bool toLatin);

/// Splits a prepared text into the texts of its parts: one when it fits a single message
/// (160 septets or 70 UTF-16 units), else parts of at most 153 septets or 67 units. An escape
/// pair and a surrogate pair are never split. Characters of `text` must suit `coding`.
std::vector<std::u32string_view> splitIntoParts(std::u32string_view text, SubmitCoding coding);

}  // namespace telvane::codec
