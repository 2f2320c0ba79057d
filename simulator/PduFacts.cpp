#include "PduFacts.h"

namespace telvane::simulator {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::uint8_t semiOctets(int value) {  // two decimal digits, low digit first (TS 23.040 9.1.2.3)
    return static_cast<std::uint8_t>(((value % 10) << 4) | ((value / 10) % 10));
}

// TP-SCTS layout (TS 23.040 9.2.3.11): YY MM DD hh mm ss TZ, each in swapped semi-octets, the
// zone in quarters of an hour with bit 3 of the first digit as its sign.
void appendTimeStamp(Bytes& out, std::time_t when, long utcOffsetSeconds) {
    std::time_t local = when + utcOffsetSeconds;
    std::tm t{};
    gmtime_r(&local, &t);
    out.push_back(semiOctets(t.tm_year % 100));
    out.push_back(semiOctets(t.tm_mon + 1));
    out.push_back(semiOctets(t.tm_mday));
    out.push_back(semiOctets(t.tm_hour));
    out.push_back(semiOctets(t.tm_min));
    out.push_back(semiOctets(t.tm_sec));
    const long quarters = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 900;
    std::uint8_t zone = semiOctets(static_cast<int>(quarters % 80));
    if (utcOffsetSeconds < 0) zone |= 0x08;
    out.push_back(zone);
}

}  // namespace

PduResult<Bytes> parseHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return PduError{"hex", hex.size() / 2, "odd number of digits"};
    Bytes bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexValue(hex[i]);
        const int lo = hexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return PduError{"hex", i / 2, "not a hexadecimal digit"};
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::string toHex(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
    }
    return out;
}

PduResult<PduLayout> layoutOf(const Bytes& pdu) {
    if (pdu.empty()) return PduError{"SMSC length", 0, "empty PDU"};
    PduLayout layout;
    layout.smscLength = size_t{pdu[0]} + 1;
    if (pdu.size() <= layout.smscLength) {
        return PduError{"first octet", layout.smscLength, "PDU ends inside the SMSC part"};
    }
    layout.tpduLength = pdu.size() - layout.smscLength;
    layout.firstOctet = pdu[layout.smscLength];
    return layout;
}

MessageKind storedKind(std::uint8_t firstOctet) {
    switch (firstOctet & 0x03) {
        case 0:
            return MessageKind::Deliver;
        case 1:
            return MessageKind::Submit;
        case 2:
            return MessageKind::StatusReport;
        default:
            return MessageKind::Reserved;
    }
}

std::optional<int> deliverClass(const Bytes& pdu) {
    const auto layout = layoutOf(pdu);
    if (!std::holds_alternative<PduLayout>(layout)) return std::nullopt;
    const auto& l = std::get<PduLayout>(layout);
    if (storedKind(l.firstOctet) != MessageKind::Deliver) return std::nullopt;
    const size_t oaOffset = l.smscLength + 1;
    if (pdu.size() <= oaOffset) return std::nullopt;
    const size_t dcsOffset = oaOffset + 2 + (size_t{pdu[oaOffset]} + 1) / 2 + 1;  // after TP-PID
    if (pdu.size() <= dcsOffset) return std::nullopt;
    const std::uint8_t dcs = pdu[dcsOffset];
    // General data coding with bit 4 set, or the 1111 group, carries the class in bits 1-0.
    if ((dcs & 0xC0) == 0x00 && (dcs & 0x10) != 0) return dcs & 0x03;
    if ((dcs & 0xF0) == 0xF0) return dcs & 0x03;
    return std::nullopt;
}

PduResult<SubmitFacts> readSubmit(const Bytes& pdu) {
    const auto layout = layoutOf(pdu);
    if (const auto* error = std::get_if<PduError>(&layout)) return *error;
    const auto& l = std::get<PduLayout>(layout);
    if (storedKind(l.firstOctet) != MessageKind::Submit) {
        return PduError{"TP-MTI", l.smscLength, "not an SMS-SUBMIT"};
    }
    SubmitFacts facts;
    facts.statusReportRequested = (l.firstOctet & 0x20) != 0;
    const size_t daOffset = l.smscLength + 2;  // after the first octet and TP-MR
    if (pdu.size() < daOffset + 2) return PduError{"TP-DA", daOffset, "PDU ends before TP-DA"};
    const size_t daOctets = 2 + (size_t{pdu[daOffset]} + 1) / 2;
    if (pdu.size() < daOffset + daOctets) return PduError{"TP-DA", daOffset, "TP-DA is cut short"};
    facts.destination.assign(pdu.begin() + static_cast<std::ptrdiff_t>(daOffset),
                             pdu.begin() + static_cast<std::ptrdiff_t>(daOffset + daOctets));
    return facts;
}

Bytes buildStatusReport(const Bytes& smscPart, std::uint8_t messageReference,
                        const Bytes& recipient, std::time_t scts, std::time_t discharge,
                        long utcOffsetSeconds) {
    Bytes out = smscPart;
    out.push_back(0x06);  // TP-MTI status report, TP-MMS: no more messages waiting
    out.push_back(messageReference);
    out.insert(out.end(), recipient.begin(), recipient.end());
    appendTimeStamp(out, scts, utcOffsetSeconds);
    appendTimeStamp(out, discharge, utcOffsetSeconds);
    out.push_back(0x00);  // TP-ST: short message received by the SME
    return out;
}

Bytes smscPartFor(std::string_view internationalNumber) {
    std::string digits;
    for (const char c : internationalNumber) {
        if (c >= '0' && c <= '9') digits.push_back(c);
    }
    if (digits.size() % 2 != 0) digits.push_back('F');
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(1 + digits.size() / 2));
    out.push_back(0x91);
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int lo = hexValue(digits[i]);
        const int hi = hexValue(digits[i + 1]);
        out.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
    }
    return out;
}

}  // namespace telvane::simulator
