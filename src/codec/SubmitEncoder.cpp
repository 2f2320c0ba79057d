#include <optional>

#include "codec/Alphabets.h"
#include "codec/Protocol.h"
#include "codec/Septets.h"
#include "codec/Submit.h"
#include "codec/SubmitFields.h"

namespace telvane::codec {

namespace {

// TP first octet (TS 23.040 clause 9.2.2.2): TP-MTI 01 SMS-SUBMIT, TP-VPF 10 relative.
constexpr std::uint8_t kSubmitRelativeValidity = 0x11;
constexpr std::uint8_t kStatusReportRequest = 0x20;  // TP-SRR
constexpr std::uint8_t kUserDataHeader = 0x40;       // TP-UDHI

constexpr std::uint8_t kMessageReference = 0x00;  // TP-MR: the phone fills in its own
constexpr std::uint8_t kProtocolId = 0x00;        // TP-PID: plain short message
constexpr std::uint8_t kValidityFourDays = 0xAA;  // TP-VP relative: (170 - 166) days

// Padding after the six-octet header so that the first character starts on a septet boundary.
constexpr std::size_t kFillBitsAfterHeader = 1;
constexpr std::size_t kHeaderSeptets = 7;

struct Concatenation {
    std::uint8_t reference;
    std::uint8_t count;
    std::uint8_t sequence;
};

Bytes concatenationHeader(const Concatenation& c) {
    return {0x05, kIeiConcatenated8Bit, 0x03, c.reference, c.count, c.sequence};
}

std::optional<SubmitError> checkCharacters(std::u32string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (!isScalarValue(c)) {
            return SubmitError{SubmitErrorCode::InvalidCharacter, SubmitField::Text, i};
        }
    }
    return std::nullopt;
}

// TP-UDL followed by TP-UD.
Bytes gsm7UserData(std::u32string_view text, const std::optional<Concatenation>& header) {
    std::vector<std::uint8_t> septets;
    septets.reserve(text.size() * 2);
    for (char32_t c : text) {
        if (auto code = gsm7DefaultCode(c)) {
            septets.push_back(*code);
        } else {
            septets.push_back(kGsm7Escape);
            septets.push_back(gsm7ExtensionCode(c).value());
        }
    }
    Bytes userData;
    if (header) {
        // TP-UDL counts septets, the header and its padding included.
        userData.push_back(static_cast<std::uint8_t>(kHeaderSeptets + septets.size()));
        const Bytes udh = concatenationHeader(*header);
        userData.insert(userData.end(), udh.begin(), udh.end());
        const Bytes packed = packSeptets(septets, kFillBitsAfterHeader);
        userData.insert(userData.end(), packed.begin(), packed.end());
    } else {
        userData.push_back(static_cast<std::uint8_t>(septets.size()));
        const Bytes packed = packSeptets(septets);
        userData.insert(userData.end(), packed.begin(), packed.end());
    }
    return userData;
}

void appendUtf16Be(char32_t c, Bytes& out) {
    const auto unit = [&out](std::uint32_t u) {
        out.push_back(static_cast<std::uint8_t>(u >> 8));
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    };
    if (c > 0xFFFF) {
        unit(highSurrogateOf(c));
        unit(lowSurrogateOf(c));
    } else {
        unit(c);
    }
}

Bytes ucs2UserData(std::u32string_view text, const std::optional<Concatenation>& header) {
    Bytes ud;
    if (header) ud = concatenationHeader(*header);
    for (char32_t c : text) appendUtf16Be(c, ud);
    Bytes userData{static_cast<std::uint8_t>(ud.size())};  // TP-UDL counts octets
    userData.insert(userData.end(), ud.begin(), ud.end());
    return userData;
}

}  // namespace

int nextLongId(int lastLongId) {
    if (lastLongId < 1 || lastLongId >= 255) return 1;
    return lastLongId + 1;
}

SubmitResult encodeSubmit(std::string_view number, std::u32string_view text,
                          const SubmitOptions& options) {
    auto destination = destinationOf(number);
    if (auto* error = std::get_if<SubmitError>(&destination)) return *error;
    SubmitMessage message;
    message.destination = std::get<Destination>(std::move(destination));
    auto smsc = encodeSmscField(options.smsc);
    if (auto* error = std::get_if<SubmitError>(&smsc)) return *error;
    if (auto error = checkCharacters(text)) return *error;

    message.text = prepareText(text, options.toLatin);
    if (message.text.empty()) return SubmitError{SubmitErrorCode::EmptyText, SubmitField::Text, 0};

    const SubmitCoding coding = chooseCoding(message.text);
    const std::vector<std::u32string_view> texts = splitIntoParts(message.text, coding);
    if (texts.size() > kMaxParts) {
        const std::size_t offset =
            static_cast<std::size_t>(texts[kMaxParts].data() - message.text.data());
        return SubmitError{SubmitErrorCode::TooManyParts, SubmitField::Text, offset};
    }

    const bool isLong = texts.size() > 1;
    message.longId = isLong ? nextLongId(options.lastLongId) : options.lastLongId;

    const Bytes& smscField = std::get<Bytes>(smsc);
    const Bytes daField = destinationField(message.destination);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const bool last = i + 1 == texts.size();
        std::uint8_t firstOctet = kSubmitRelativeValidity;
        // One delivery report per message: a long message asks for it on its last part.
        if (options.report && last) firstOctet |= kStatusReportRequest;
        std::optional<Concatenation> header;
        if (isLong) {
            firstOctet |= kUserDataHeader;
            header = Concatenation{static_cast<std::uint8_t>(message.longId),
                                   static_cast<std::uint8_t>(texts.size()),
                                   static_cast<std::uint8_t>(i + 1)};
        }

        Bytes tpdu{firstOctet, kMessageReference};
        tpdu.insert(tpdu.end(), daField.begin(), daField.end());
        tpdu.push_back(kProtocolId);
        tpdu.push_back(coding == SubmitCoding::Gsm7 ? kDcsGsm7 : kDcsUcs2);
        tpdu.push_back(kValidityFourDays);
        const Bytes userData = coding == SubmitCoding::Gsm7 ? gsm7UserData(texts[i], header)
                                                            : ucs2UserData(texts[i], header);
        tpdu.insert(tpdu.end(), userData.begin(), userData.end());

        Bytes whole = smscField;
        whole.insert(whole.end(), tpdu.begin(), tpdu.end());
        message.parts.push_back(SubmitPart{toHex(whole), tpdu.size(), coding, i + 1, texts.size()});
    }
    return message;
}

}  // namespace telvane::codec
