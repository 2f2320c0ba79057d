#pragma once
// The dialogue of a submission with the phone, one exchange a row (3GPP TS 27.005 3.5.1 and
// 3.5.6): what goes out, what the port log calls it, the answer that ends it and its time limits.
// The prompt command goes in lower case and every command ends in CR alone, as phones have long
// been driven; the port logs show them so.

#include <QByteArray>
#include <cstddef>

#include "contracts/PhoneLink.h"

namespace telvane::send::commands {

/// Seconds: the prompt; the network's confirmation unless the settings say (SendTimeout); what
/// an exit still waits for the confirmation of a part on the wire (most come within seconds, and
/// a service manager gives a minute before it kills); the answer to ESC (a phone still in text
/// entry answers at once, one that is not may stay silent); AT+CMMS.
inline constexpr int kPromptS = 10;
inline constexpr int kConfirmationS = 120;
inline constexpr int kExitGraceS = 30;
inline constexpr int kCancelS = 1;
inline constexpr int kKeepLinkS = 10;

inline constexpr char kCtrlZ = 26;
inline constexpr char kEsc = 27;

/// at+cmgs=<length>: the phone's "> " for a PDU whose TPDU has `tpduLength` octets.
inline contracts::Exchange prompt(std::size_t tpduLength) {
    return {"at+cmgs=" + QByteArray::number(static_cast<qulonglong>(tpduLength)) + '\r',
            QStringLiteral("Инициализация"), QStringLiteral(">"), kPromptS};
}

/// The PDU (hex, SMSC part first) ended by Ctrl-Z: "OK" after "+CMGS: <mr>" ends it.
inline contracts::Exchange pdu(const QByteArray& hex, const QString& action, int confirmationS) {
    return {hex + kCtrlZ, action, QStringLiteral("OK"), confirmationS, 0, kExitGraceS};
}

/// ESC: ends text entry without sending; a phone that already left it ignores it.
inline contracts::Exchange cancel() {
    return {QByteArray(1, kEsc), QStringLiteral("Отмена ввода"), QStringLiteral("OK"), kCancelS};
}

/// AT+CMMS=1 keeps the radio link up between the parts of a long message; AT+CMMS=0 lets it go.
inline contracts::Exchange keepLink(bool on) {
    return {on ? QByteArrayLiteral("AT+CMMS=1\r") : QByteArrayLiteral("AT+CMMS=0\r"),
            QStringLiteral("Связь между частями"), QStringLiteral("OK"), kKeepLinkS};
}

}  // namespace telvane::send::commands
