#pragma once
// What a phone's answer to a submission says beyond OK and ERROR, read with the phone's reply
// parser: the message reference of "+CMGS: <mr>", the number and meaning of
// "+CMS ERROR: <err>", and whether a message refused with that number can ever go. The one place
// that decides which refusals move a file to the Failed folder at once.

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <array>
#include <optional>

#include "replies/Replies.h"

namespace telvane::send {

struct CmsError {
    int number;
    QString meaning;  ///< as replies::cmsMeaning names it
    /// The network or the phone refused this message itself (its destination or its PDU):
    /// sending it again cannot help. Everything else (the SIM, the network, the centre being
    /// busy or failing) may pass.
    bool permanent;
};

/// The refusals for good: RP causes of TS 24.011 E.2 about the destination or the message,
/// the TP-FCS values of TS 23.040 9.2.3.22 about the PDU, and a PDU the phone cannot take.
inline constexpr std::array kPermanentCmsErrors{1,   21,  30,  95,  96,  97,  99,  128,
                                                129, 130, 143, 144, 145, 159, 160, 161,
                                                175, 176, 195, 196, 197, 198, 199, 304};

/// The entry of a number; numbers the standards leave unnamed (other reserved values, 512 and
/// up for the manufacturer) are never permanent.
inline CmsError cmsError(int number) {
    const std::string_view named = replies::cmsMeaning(number);
    const QString meaning = !named.empty()
                                ? QString::fromLatin1(named.data(), qsizetype(named.size()))
                            : number >= 512 ? QStringLiteral("manufacturer specific")
                                            : QStringLiteral("reserved");
    return {number, meaning,
            std::find(kPermanentCmsErrors.begin(), kPermanentCmsErrors.end(), number) !=
                kPermanentCmsErrors.end()};
}

/// The number of the reply's "+CMS ERROR: <err>" (numeric, as AT+CMEE=1 gives it).
inline std::optional<int> cmsErrorNumber(const QByteArray& reply) {
    const replies::FinalResult final =
        replies::finalResultOf(std::string_view(reply.constData(), size_t(reply.size())));
    if (final.kind != replies::FinalResult::Kind::CmsError) return std::nullopt;
    return final.number;
}

/// TP-MR of the "+CMGS: <mr>" line that comes before OK (0-255).
inline std::optional<int> messageReference(const QByteArray& reply) {
    const auto reference =
        replies::messageReferenceOf(std::string_view(reply.constData(), size_t(reply.size())));
    if (!reference || *reference < 0 || *reference > 255) return std::nullopt;
    return reference;
}

}  // namespace telvane::send
