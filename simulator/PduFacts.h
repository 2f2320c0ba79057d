#pragma once
// The few facts the simulated modem needs from a PDU, read by hand on purpose: the modem must
// behave on its own terms, not share the gateway's codec and its mistakes.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace telvane::simulator {

using Bytes = std::vector<std::uint8_t>;

struct PduError {
    std::string field;
    size_t offset = 0;  // octet offset in the PDU, SMSC part included
    std::string reason;
};

template <typename T>
using PduResult = std::variant<T, PduError>;

/// Hex text as a modem receives it after the prompt: upper or lower case, even length.
PduResult<Bytes> parseHex(std::string_view hex);
std::string toHex(const Bytes& bytes);

/// A PDU as stored or listed: SMSC part (length octet first), then the TPDU.
struct PduLayout {
    size_t smscLength = 0;  // octets of the SMSC part, its length octet included
    size_t tpduLength = 0;  // what +CMGL reports and AT+CMGS expects
    std::uint8_t firstOctet = 0;
};

PduResult<PduLayout> layoutOf(const Bytes& pdu);

/// TP-MTI of the first octet, as seen by the side that stores the message (TS 23.040 9.2.3.1).
enum class MessageKind { Deliver, Submit, StatusReport, Reserved };
/// A PDU stored in a memory came in (DELIVER, STATUS-REPORT) or was written to go out (SUBMIT).
MessageKind storedKind(std::uint8_t firstOctet);

/// The message class of an SMS-DELIVER from its TP-DCS (TS 23.038 4): 0-3, or nullopt when
/// the scheme gives none or the PDU is not a readable SMS-DELIVER.
std::optional<int> deliverClass(const Bytes& pdu);

/// What the modem takes from an SMS-SUBMIT.
struct SubmitFacts {
    bool statusReportRequested = false;  // TP-SRR, bit 5 of the first octet
    Bytes destination;                   // TP-DA as sent: digit count, type of address, semi-octets
};

PduResult<SubmitFacts> readSubmit(const Bytes& pdu);

/// A "delivered" SMS-STATUS-REPORT (TP-ST 00) for a submitted message, with the SMSC part.
/// `scts` is when the centre took the message, `discharge` when it reached the recipient;
/// `utcOffsetSeconds` is written as the time-zone field of both.
Bytes buildStatusReport(const Bytes& smscPart, std::uint8_t messageReference,
                        const Bytes& recipient, std::time_t scts, std::time_t discharge,
                        long utcOffsetSeconds);

/// An SMSC part (length, type of address, semi-octets) for an international number such as
/// "+79037011111".
Bytes smscPartFor(std::string_view internationalNumber);

}  // namespace telvane::simulator
