#pragma once
// Decoding of received SMS PDUs (3GPP TS 23.040 layouts, TS 23.038 alphabets) as the phone
// lists them: the service-centre address followed by the TPDU.
//
// Two layers, each usable on its own (a fuzzer can feed either):
//   decodePduHex(text)  hex text -> bytes -> decodePdu
//   decodePdu(bytes)    binary PDU -> DecodedPdu or DecodeError
// Every read is bounds-checked; a PDU that does not hold together gives a DecodeError naming
// the field and its octet offset, never a partial result.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "codec/Hex.h"

namespace telvane::codec {

/// The TPDU layout selected by TP-MTI.
enum class MessageKind {
    Deliver,       ///< SMS-DELIVER: a received message (TP-MTI 00).
    StatusReport,  ///< SMS-STATUS-REPORT: a delivery report (TP-MTI 10).
    Submit,        ///< SMS-SUBMIT as phones keep a stored outgoing message (TP-MTI 01).
};

/// The alphabet of the user data, from TP-DCS.
enum class Coding {
    Gsm7,      ///< GSM 7-bit default alphabet with its extension table.
    Ucs2,      ///< UCS2, read as UTF-16 big-endian.
    EightBit,  ///< 8-bit data (also compressed text, which is not decompressed).
};

/// A concatenation element of the user data header (IEI 00 or 08) that makes sense:
/// 1 <= seq <= total.
struct Concat {
    std::uint16_t ref = 0;
    int refBits = 8;  ///< 8 (IEI 00) or 16 (IEI 08)
    std::size_t total = 0;
    std::size_t seq = 0;
};

/// A service-centre time stamp (TP-SCTS) as sent: two-digit year, local time and the offset
/// from UTC in quarter-hours. No century is assumed.
struct TimeStamp {
    int year = 0;  ///< 0..99
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    /// Signed, +12 is UTC+3; nullopt when the centre sent a zone octet that is not decimal.
    std::optional<int> tzQuarterHours;
};

struct DecodedPdu {
    MessageKind kind = MessageKind::Deliver;
    /// Service-centre address: "+" and digits for an international number, digits otherwise,
    /// empty when the PDU carries none (length octet 00).
    std::string smsc;
    /// TP-OA (deliver), TP-DA (stored submit) or TP-RA (status report): "+" and digits for an
    /// international number, digits alone for other numeric types, the sender's name for an
    /// alphanumeric address.
    std::u32string number;
    /// TP-SCTS; absent for a stored submit, and when its digits are not decimal.
    std::optional<TimeStamp> timestamp;
    /// TP-DT of a status report (when the message was delivered or discarded).
    std::optional<TimeStamp> dischargeTime;
    Coding coding = Coding::Gsm7;
    std::uint8_t dcs = 0;  ///< TP-DCS as received
    /// The user data text without the header. 8-bit data is given as its bytes in upper-case
    /// hexadecimal. Empty for a status report.
    std::u32string text;
    std::optional<Concat> concat;
    std::optional<std::uint8_t> status;  ///< TP-ST of a status report
    /// TP-MR of a status report (the reference the phone gave the submitted message) or of a
    /// stored submit.
    std::optional<std::uint8_t> messageReference;
};

/// What went wrong, where: `field` is the name of the PDU field (e.g. "TP-UDL"), `offset` the
/// octet offset of that field in the PDU (for hex-layer errors: the character offset).
struct DecodeError {
    std::string field;
    std::size_t offset = 0;
    std::string message;
};

/// One line for logs and the command line: "<field> at offset <n>: <message>".
std::string describe(const DecodeError& error);

using DecodeResult = std::variant<DecodedPdu, DecodeError>;

/// Decodes a binary PDU: the service-centre address (by its own length octet, 00 for none)
/// followed by an SMS-DELIVER, SMS-STATUS-REPORT or SMS-SUBMIT TPDU. Exactly TP-UDL septets or
/// octets of user data are read; octets after them are ignored.
DecodeResult decodePdu(const Bytes& pdu);

/// Decodes the PDU line of a list answer: hexadecimal digits (either case); ASCII blanks, tabs
/// and line ends anywhere in it are ignored.
DecodeResult decodePduHex(std::string_view hex);

}  // namespace telvane::codec
