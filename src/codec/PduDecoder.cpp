#include "codec/PduDecoder.h"

#include <array>
#include <vector>

#include "codec/Alphabets.h"
#include "codec/Protocol.h"
#include "codec/Septets.h"

namespace telvane::codec {

namespace {

std::string hexByte(std::uint8_t value) { return toHex(Bytes{value}); }

// Reads fields off a PDU front to back; every read checks the bounds first.
class Reader {
public:
    explicit Reader(const Bytes& pdu) : m_pdu(pdu) {}

    std::size_t offset() const { return m_offset; }
    std::size_t remaining() const { return m_pdu.size() - m_offset; }

    std::optional<DecodeError> need(std::size_t count, const char* field) const {
        if (count <= remaining()) return std::nullopt;
        return DecodeError{field, m_offset,
                           "needs " + std::to_string(count) + " octet(s), " +
                               std::to_string(remaining()) + " left"};
    }

    std::uint8_t octet() { return m_pdu[m_offset++]; }

    std::vector<std::uint8_t> octets(std::size_t count) {
        std::vector<std::uint8_t> out(
            m_pdu.begin() + static_cast<std::ptrdiff_t>(m_offset),
            m_pdu.begin() + static_cast<std::ptrdiff_t>(m_offset + count));
        m_offset += count;
        return out;
    }

    void skip(std::size_t count) { m_offset += count; }

private:
    const Bytes& m_pdu;
    std::size_t m_offset = 0;
};

// Semi-octet digits, low nibble first (TS 23.040 9.1.2.3): 0-9, then "*", "#", "a", "b", "c";
// 1111 is the filler of an odd count.
char32_t semiOctetChar(std::uint8_t nibble) {
    static constexpr std::array<char32_t, 15> kChars = {
        U'0', U'1', U'2', U'3', U'4', U'5', U'6', U'7', U'8', U'9', U'*', U'#', U'a', U'b', U'c'};
    return kChars[nibble];
}

std::u32string semiOctets(const std::vector<std::uint8_t>& octets, std::size_t digits) {
    std::u32string out;
    for (std::size_t i = 0; i < digits && i / 2 < octets.size(); ++i) {
        const std::uint8_t nibble = i % 2 == 0 ? octets[i / 2] & 0x0F : octets[i / 2] >> 4;
        if (nibble == 0x0F) break;
        out.push_back(semiOctetChar(nibble));
    }
    return out;
}

// Escape + septet gives the extension character; where the extension table has none,
// TS 23.038 6.2.1.1 asks for the default-alphabet character of that septet.
std::u32string gsm7Text(const std::vector<std::uint8_t>& septets) {
    std::u32string text;
    text.reserve(septets.size());
    for (std::size_t i = 0; i < septets.size(); ++i) {
        if (septets[i] == kGsm7Escape && i + 1 < septets.size()) {
            const std::uint8_t next = septets[++i];
            text.push_back(gsm7ExtensionChar(next).value_or(gsm7DefaultChar(next)));
        } else {
            text.push_back(gsm7DefaultChar(septets[i]));
        }
    }
    return text;
}

// UTF-16 big-endian: a surrogate pair is one character; a lone surrogate or a lone final
// octet becomes U+FFFD, so nothing read is dropped silently.
std::u32string ucs2Text(const std::vector<std::uint8_t>& octets) {
    std::u32string text;
    const std::size_t units = octets.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t unit = static_cast<char32_t>(octets[2 * i] << 8 | octets[2 * i + 1]);
        if (isHighSurrogate(unit) && i + 1 < units) {
            const char32_t low = static_cast<char32_t>(octets[2 * i + 2] << 8 | octets[2 * i + 3]);
            if (isLowSurrogate(low)) {
                text.push_back(fromSurrogates(unit, low));
                ++i;
                continue;
            }
        }
        text.push_back(isSurrogate(unit) ? U'\uFFFD' : unit);
    }
    if (octets.size() % 2 != 0) text.push_back(U'\uFFFD');
    return text;
}

std::u32string hexText(const std::vector<std::uint8_t>& octets) {
    const std::string hex = toHex(Bytes(octets.begin(), octets.end()));
    return std::u32string(hex.begin(), hex.end());
}

// TS 23.038 clause 4. Reserved alphabets and reserved coding groups are to be taken as the
// default alphabet by a receiver; compressed text is kept as data since we do not decompress.
Coding codingOf(std::uint8_t dcs) {
    const unsigned group = dcs >> 4;
    if (group <= 0x7) {  // general data coding and automatic deletion groups
        if (dcs & 0x20) return Coding::EightBit;
        switch ((dcs >> 2) & 0x03) {
            case 0b01:
                return Coding::EightBit;
            case 0b10:
                return Coding::Ucs2;
            default:
                return Coding::Gsm7;
        }
    }
    if (group == 0xE) return Coding::Ucs2;  // message waiting, store message, UCS2
    if (group == 0xF) return (dcs & 0x04) ? Coding::EightBit : Coding::Gsm7;
    return Coding::Gsm7;  // 0x8-0xB reserved, 0xC-0xD message waiting
}

std::variant<std::u32string, DecodeError> readAddress(Reader& reader, const char* field) {
    const std::size_t start = reader.offset();
    if (auto error = reader.need(2, field)) return *error;
    const std::size_t digits = reader.octet();
    if (digits > kMaxAddressDigits) {
        return DecodeError{field, start,
                           "length " + std::to_string(digits) + " exceeds " +
                               std::to_string(kMaxAddressDigits) + " digits"};
    }
    const std::uint8_t type = reader.octet();
    const std::size_t octetCount = (digits + 1) / 2;
    if (auto error = reader.need(octetCount, field)) return *error;
    const std::vector<std::uint8_t> value = reader.octets(octetCount);
    const std::uint8_t ton = (type >> 4) & 0x07;
    if (ton == kTonAlphanumeric) {
        // The length counts the semi-octets that carry the packed septets.
        return gsm7Text(unpackSeptets(value, digits * 4 / 7));
    }
    std::u32string number = semiOctets(value, digits);
    if (ton == kTonInternational) number.insert(number.begin(), U'+');
    return number;
}

std::string readSmsc(const std::vector<std::uint8_t>& value) {
    if (value.empty()) return {};
    const std::uint8_t ton = (value[0] >> 4) & 0x07;
    const std::vector<std::uint8_t> digits(value.begin() + 1, value.end());
    std::u32string number = ton == kTonAlphanumeric
                                ? gsm7Text(unpackSeptets(digits, digits.size() * 8 / 7))
                                : semiOctets(digits, digits.size() * 2);
    if (ton == kTonInternational) number.insert(number.begin(), U'+');
    return unicodeToUtf8(number);
}

std::optional<int> bcd(std::uint8_t octet) {
    const int low = octet & 0x0F;
    const int high = octet >> 4;
    if (low > 9 || high > 9) return std::nullopt;
    return low * 10 + high;
}

// TS 23.040 9.2.3.11. A time stamp with non-decimal digits is dropped rather than failing the
// whole message: the text matters more than its date. A zone octet that is not decimal (a real
// centre sent C2 in a status report) costs only the zone.
std::optional<TimeStamp> timeStampOf(const std::vector<std::uint8_t>& o) {
    std::array<int, 6> fields{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::optional<int> value = bcd(o[i]);
        if (!value) return std::nullopt;
        fields[i] = *value;
    }
    TimeStamp stamp{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], {}};
    // Time zone: swapped semi-octets as well, bit 3 of the first one is the sign.
    const int tzLowDigit = o[6] >> 4;
    const int tzHighDigit = o[6] & 0x07;
    if (tzLowDigit <= 9) {
        const int quarters = tzHighDigit * 10 + tzLowDigit;
        stamp.tzQuarterHours = (o[6] & 0x08) ? -quarters : quarters;
    }
    return stamp;
}

std::variant<std::optional<TimeStamp>, DecodeError> readTimeStamp(Reader& reader,
                                                                  const char* field) {
    if (auto error = reader.need(7, field)) return *error;
    return timeStampOf(reader.octets(7));
}

// TS 23.040 9.2.3.12: the validity period format TP-VPF in bits 4-3 of the first octet.
std::optional<DecodeError> skipValidityPeriod(Reader& reader, std::uint8_t firstOctet) {
    const unsigned vpf = (firstOctet >> 3) & 0x03;
    const std::size_t length = vpf == 0b00 ? 0 : vpf == 0b10 ? 1 : 7;
    if (auto error = reader.need(length, "TP-VP")) return error;
    reader.skip(length);
    return std::nullopt;
}

// Reads the elements of a user data header; a concatenation element that cannot be right
// (part 0, part beyond the total, total 0, wrong length) is ignored, as is everything else
// we do not use.
std::optional<Concat> concatOf(const std::vector<std::uint8_t>& header) {
    std::size_t i = 0;
    while (i + 2 <= header.size()) {
        const std::uint8_t iei = header[i];
        const std::size_t length = header[i + 1];
        const std::size_t data = i + 2;
        if (data + length > header.size()) return std::nullopt;  // element overruns the header
        Concat concat;
        bool isConcat = false;
        if (iei == kIeiConcatenated8Bit && length == 3) {
            concat = Concat{header[data], 8, header[data + 1], header[data + 2]};
            isConcat = true;
        } else if (iei == kIeiConcatenated16Bit && length == 4) {
            concat = Concat{static_cast<std::uint16_t>(header[data] << 8 | header[data + 1]), 16,
                            header[data + 2], header[data + 3]};
            isConcat = true;
        }
        if (isConcat && concat.total > 0 && concat.seq > 0 && concat.seq <= concat.total) {
            return concat;
        }
        i = data + length;
    }
    return std::nullopt;
}

// TP-UDL, the optional header and the text. The user data runs to exactly TP-UDL septets or
// octets; anything after them is not ours to read.
std::optional<DecodeError> readUserData(Reader& reader, bool hasHeader, DecodedPdu& out) {
    const std::size_t udlOffset = reader.offset();
    if (auto error = reader.need(1, "TP-UDL")) return error;
    const std::size_t udl = reader.octet();
    const bool septets = out.coding == Coding::Gsm7;
    const std::size_t limit = septets ? kMaxUserDataSeptets : kMaxUserDataOctets;
    if (udl > limit) {
        return DecodeError{"TP-UDL", udlOffset,
                           std::to_string(udl) + (septets ? " septets" : " octets") + " exceeds " +
                               std::to_string(limit)};
    }
    const std::size_t octetCount = septets ? (udl * 7 + 7) / 8 : udl;
    if (reader.remaining() < octetCount) {
        return DecodeError{"TP-UD", reader.offset(),
                           "TP-UDL " + std::to_string(udl) + " needs " +
                               std::to_string(octetCount) + " octet(s), " +
                               std::to_string(reader.remaining()) + " present"};
    }
    const std::size_t udOffset = reader.offset();
    const std::vector<std::uint8_t> ud = reader.octets(octetCount);

    std::size_t headerOctets = 0;
    if (hasHeader) {
        if (ud.empty()) return DecodeError{"TP-UDHL", udOffset, "TP-UDHI set but no user data"};
        headerOctets = std::size_t{ud[0]} + 1;
        if (headerOctets > ud.size()) {
            return DecodeError{"TP-UDHL", udOffset,
                               "header of " + std::to_string(headerOctets) +
                                   " octet(s) exceeds user data of " + std::to_string(ud.size())};
        }
        out.concat = concatOf(std::vector<std::uint8_t>(
            ud.begin() + 1, ud.begin() + static_cast<std::ptrdiff_t>(headerOctets)));
    }

    switch (out.coding) {
        case Coding::Gsm7: {
            // The text starts at the first septet boundary after the header (fill bits).
            const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
            if (headerSeptets > udl) {
                return DecodeError{"TP-UDHL", udOffset,
                                   "header of " + std::to_string(headerOctets) +
                                       " octet(s) exceeds TP-UDL of " + std::to_string(udl) +
                                       " septets"};
            }
            std::vector<std::uint8_t> all = unpackSeptets(ud, udl);
            all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(headerSeptets));
            // TS 23.038 6.1.2.3.1: a sender pads a text of 8n-1 septets with CR so that the
            // seven spare bits cannot read as "@"; that CR is padding, not text.
            if (udl % 8 == 0 && !all.empty() && all.back() == 0x0D &&
                !(all.size() >= 2 && all[all.size() - 2] == kGsm7Escape)) {
                all.pop_back();
            }
            out.text = gsm7Text(all);
            break;
        }
        case Coding::Ucs2:
            out.text = ucs2Text(std::vector<std::uint8_t>(
                ud.begin() + static_cast<std::ptrdiff_t>(headerOctets), ud.end()));
            break;
        case Coding::EightBit:
            out.text = hexText(std::vector<std::uint8_t>(
                ud.begin() + static_cast<std::ptrdiff_t>(headerOctets), ud.end()));
            break;
    }
    return std::nullopt;
}

}  // namespace

std::string describe(const DecodeError& error) {
    return error.field + " at offset " + std::to_string(error.offset) + ": " + error.message;
}

DecodeResult decodePdu(const Bytes& pdu) {
    Reader reader(pdu);
    DecodedPdu out;

    if (auto error = reader.need(1, "SMSC length")) return *error;
    const std::size_t smscLength = reader.octet();
    if (smscLength > kMaxSmscOctets) {
        return DecodeError{
            "SMSC length", 0,
            std::to_string(smscLength) + " octets exceeds " + std::to_string(kMaxSmscOctets)};
    }
    if (auto error = reader.need(smscLength, "SMSC address")) return *error;
    out.smsc = readSmsc(reader.octets(smscLength));

    const std::size_t firstOffset = reader.offset();
    if (auto error = reader.need(1, "TP-MTI")) return *error;
    const std::uint8_t first = reader.octet();
    const bool hasHeader = (first & 0x40) != 0;  // TP-UDHI
    switch (first & 0x03) {
        case 0b00:
            out.kind = MessageKind::Deliver;
            break;
        case 0b10:
            out.kind = MessageKind::StatusReport;
            break;
        case 0b01:
            out.kind = MessageKind::Submit;
            break;
        default:
            return DecodeError{"TP-MTI", firstOffset,
                               "reserved message type in first octet " + hexByte(first)};
    }

    if (out.kind != MessageKind::Deliver) {
        if (auto error = reader.need(1, "TP-MR")) return *error;
        out.messageReference = reader.octet();
    }

    const char* addressField = out.kind == MessageKind::Deliver  ? "TP-OA"
                               : out.kind == MessageKind::Submit ? "TP-DA"
                                                                 : "TP-RA";
    auto address = readAddress(reader, addressField);
    if (auto* error = std::get_if<DecodeError>(&address)) return *error;
    out.number = std::get<std::u32string>(std::move(address));

    if (out.kind == MessageKind::StatusReport) {
        auto scts = readTimeStamp(reader, "TP-SCTS");
        if (auto* error = std::get_if<DecodeError>(&scts)) return *error;
        out.timestamp = std::get<0>(scts);
        auto dt = readTimeStamp(reader, "TP-DT");
        if (auto* error = std::get_if<DecodeError>(&dt)) return *error;
        out.dischargeTime = std::get<0>(dt);
        if (auto error = reader.need(1, "TP-ST")) return *error;
        out.status = reader.octet();
        // TP-PI and the optional fields after it carry nothing the gateway keeps.
        return out;
    }

    if (auto error = reader.need(2, "TP-PID")) return *error;
    reader.skip(1);
    out.dcs = reader.octet();
    out.coding = codingOf(out.dcs);

    if (out.kind == MessageKind::Deliver) {
        auto scts = readTimeStamp(reader, "TP-SCTS");
        if (auto* error = std::get_if<DecodeError>(&scts)) return *error;
        out.timestamp = std::get<0>(scts);
    } else if (auto error = skipValidityPeriod(reader, first)) {
        return *error;
    }

    if (auto error = readUserData(reader, hasHeader, out)) return *error;
    return out;
}

DecodeResult decodePduHex(std::string_view hex) {
    std::string digits;
    digits.reserve(hex.size());
    for (std::size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        const bool isHex =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!isHex) {
            const bool printable = c > ' ' && c < 0x7F;
            return DecodeError{"hex", i,
                               printable ? std::string("not a hexadecimal digit: '") + c + "'"
                                         : "not a hexadecimal digit: byte 0x" +
                                               hexByte(static_cast<std::uint8_t>(c))};
        }
        digits.push_back(c);
    }
    if (digits.empty()) return DecodeError{"hex", 0, "empty PDU"};
    if (digits.size() % 2 != 0) {
        return DecodeError{"hex", hex.size(),
                           "odd number of digits (" + std::to_string(digits.size()) + ")"};
    }
    const std::optional<Bytes> bytes = fromHex(digits);
    if (!bytes) return DecodeError{"hex", 0, "not hexadecimal"};
    return decodePdu(*bytes);
}

}  // namespace telvane::codec
