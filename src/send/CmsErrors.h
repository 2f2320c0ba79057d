#pragma once
// What a phone's answer to a submission says beyond OK and ERROR: the message reference of
// "+CMGS: <mr>" and the number of "+CMS ERROR: <err>" (3GPP TS 27.005 3.2.5, 3.5.1), with the
// names the standards give the numbers and whether a message refused with one can ever go.
// The one place that decides which refusals move a file to the Failed folder at once.

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <array>
#include <optional>

namespace telvane::send {

struct CmsError {
    int number;
    const char* meaning;  ///< the name in TS 24.011 E.2, TS 23.040 9.2.3.22 or TS 27.005 3.2.5
    /// The network or the phone refused this message itself (its destination or its PDU):
    /// sending it again cannot help. Everything else (the SIM, the network, the centre being
    /// busy or failing) may pass.
    bool permanent;
};

inline constexpr std::array kCmsErrors{
    // RP-cause values (TS 24.011 E.2)
    CmsError{1, "unassigned (unallocated) number", true},
    CmsError{8, "operator determined barring", false},
    CmsError{10, "call barred", false},
    CmsError{21, "short message transfer rejected", true},
    CmsError{27, "destination out of service", false},
    CmsError{28, "unidentified subscriber", false},
    CmsError{29, "facility rejected", false},
    CmsError{30, "unknown subscriber", true},
    CmsError{38, "network out of order", false},
    CmsError{41, "temporary failure", false},
    CmsError{42, "congestion", false},
    CmsError{47, "resources unavailable, unspecified", false},
    CmsError{50, "requested facility not subscribed", false},
    CmsError{69, "requested facility not implemented", false},
    CmsError{81, "invalid short message transfer reference value", false},
    CmsError{95, "invalid message, unspecified", true},
    CmsError{96, "invalid mandatory information", true},
    CmsError{97, "message type non-existent or not implemented", true},
    CmsError{98, "message not compatible with short message protocol state", false},
    CmsError{99, "information element non-existent or not implemented", true},
    CmsError{111, "protocol error, unspecified", false},
    CmsError{127, "interworking, unspecified", false},
    // TP-FCS values (TS 23.040 9.2.3.22)
    CmsError{128, "telematic interworking not supported", true},
    CmsError{129, "short message type 0 not supported", true},
    CmsError{130, "cannot replace short message", true},
    CmsError{143, "unspecified TP-PID error", true},
    CmsError{144, "data coding scheme (alphabet) not supported", true},
    CmsError{145, "message class not supported", true},
    CmsError{159, "unspecified TP-DCS error", true},
    CmsError{160, "command cannot be actioned", true},
    CmsError{161, "command unsupported", true},
    CmsError{175, "unspecified TP-command error", true},
    CmsError{176, "TPDU not supported", true},
    CmsError{192, "SC busy", false},
    CmsError{193, "no SC subscription", false},
    CmsError{194, "SC system failure", false},
    CmsError{195, "invalid SME address", true},
    CmsError{196, "destination SME barred", true},
    CmsError{197, "SM rejected-duplicate SM", true},
    CmsError{198, "TP-VPF not supported", true},
    CmsError{199, "TP-VP not supported", true},
    CmsError{208, "(U)SIM SMS storage full", false},
    CmsError{209, "no SMS storage capability in (U)SIM", false},
    CmsError{210, "error in MS", false},
    CmsError{211, "memory capacity exceeded", false},
    CmsError{212, "(U)SIM application toolkit busy", false},
    CmsError{213, "(U)SIM data download error", false},
    CmsError{255, "unspecified error cause", false},
    // Errors of the phone (TS 27.005 3.2.5)
    CmsError{300, "ME failure", false},
    CmsError{301, "SMS service of ME reserved", false},
    CmsError{302, "operation not allowed", false},
    CmsError{303, "operation not supported", false},
    CmsError{304, "invalid PDU mode parameter", true},
    CmsError{305, "invalid text mode parameter", false},
    CmsError{310, "(U)SIM not inserted", false},
    CmsError{311, "(U)SIM PIN required", false},
    CmsError{312, "PH-(U)SIM PIN required", false},
    CmsError{313, "(U)SIM failure", false},
    CmsError{314, "(U)SIM busy", false},
    CmsError{315, "(U)SIM wrong", false},
    CmsError{316, "(U)SIM PUK required", false},
    CmsError{317, "(U)SIM PIN2 required", false},
    CmsError{318, "(U)SIM PUK2 required", false},
    CmsError{320, "memory failure", false},
    CmsError{321, "invalid memory index", false},
    CmsError{322, "memory full", false},
    CmsError{330, "SMSC address unknown", false},
    CmsError{331, "no network service", false},
    CmsError{332, "network timeout", false},
    CmsError{340, "no +CNMA acknowledgement expected", false},
    CmsError{500, "unknown error", false},
};

/// The entry of a number; numbers the table lacks (other reserved values, 512 and up for the
/// manufacturer) have a meaning of their own and are never permanent.
inline CmsError cmsError(int number) {
    for (const CmsError& e : kCmsErrors)
        if (e.number == number) return e;
    return {number, number >= 512 ? "manufacturer specific" : "reserved", false};
}

/// The number of a "+CMS ERROR: <err>" line (numeric, as AT+CMEE=1 gives it) in a reply.
inline std::optional<int> cmsErrorNumber(const QByteArray& reply) {
    static const QRegularExpression pattern(QStringLiteral("\\+CMS ERROR:\\s*(\\d+)"));
    const auto match = pattern.match(QString::fromLatin1(reply));
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

/// TP-MR of the "+CMGS: <mr>" line that comes before OK (0-255).
inline std::optional<int> messageReference(const QByteArray& reply) {
    static const QRegularExpression pattern(QStringLiteral("\\+CMGS:\\s*(\\d{1,3})\\b"));
    const auto match = pattern.match(QString::fromLatin1(reply));
    if (!match.hasMatch() || match.captured(1).toInt() > 255) return std::nullopt;
    return match.captured(1).toInt();
}

}  // namespace telvane::send
