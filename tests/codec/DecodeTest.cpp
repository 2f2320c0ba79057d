#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "codec/Alphabets.h"
#include "codec/MessageRecord.h"
#include "codec/PduDecoder.h"

namespace telvane::codec {
namespace {

struct Case {
    std::string name, source, hex, type, smsc, number, timestamp, coding, concat, status, text;
};

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

std::vector<Case> loadCases() {
    std::ifstream in(TELVANE_TEST_DATA "/pdu/decode-cases.tsv");
    std::vector<Case> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t')) f.push_back(unescape(field));
        if (f.size() == 10) f.emplace_back();  // empty text at the end of the line
        if (f.size() != 11) {
            ADD_FAILURE() << "bad row: " << line;
            continue;
        }
        cases.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10]});
    }
    return cases;
}

const char* typeName(MessageKind kind) {
    return kind == MessageKind::Deliver  ? "deliver"
           : kind == MessageKind::Submit ? "submit"
                                         : "status-report";
}

const char* codingName(Coding coding) {
    return coding == Coding::Gsm7 ? "gsm7" : coding == Coding::Ucs2 ? "ucs2" : "8bit";
}

std::string concatText(const std::optional<Concat>& concat) {
    if (!concat) return "-";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer,
                  concat->refBits == 16 ? "%04X/%d/%zu/%zu" : "%02X/%d/%zu/%zu",
                  unsigned{concat->ref}, concat->refBits, concat->total, concat->seq);
    return buffer;
}

DecodedPdu decodeOk(std::string_view hex) {
    DecodeResult result = decodePduHex(hex);
    if (auto* error = std::get_if<DecodeError>(&result)) {
        ADD_FAILURE() << describe(*error);
        return {};
    }
    return std::get<DecodedPdu>(result);
}

TEST(DecodePdu, CapturedPdusGiveTheirFields) {
    const std::vector<Case> cases = loadCases();
    ASSERT_GE(cases.size(), 40u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " — " + c.source);
        const DecodedPdu pdu = decodeOk(c.hex);
        EXPECT_EQ(typeName(pdu.kind), c.type);
        EXPECT_EQ(pdu.smsc, c.smsc);
        EXPECT_EQ(unicodeToUtf8(pdu.number), c.number);
        EXPECT_EQ(pdu.timestamp ? unicodeToUtf8(formatTimeStamp(*pdu.timestamp)) : "", c.timestamp);
        EXPECT_EQ(codingName(pdu.coding), c.coding);
        EXPECT_EQ(concatText(pdu.concat), c.concat);
        EXPECT_EQ(pdu.status ? toHex(Bytes{*pdu.status}) : "-", c.status);
        EXPECT_EQ(unicodeToUtf8(pdu.text), c.text);
    }
}

// Every field is needed: cutting any captured PDU short gives an error, never a message.
TEST(DecodePdu, EveryTruncationOfACaptureIsAnError) {
    for (const Case& c : loadCases()) {
        const Bytes full = *fromHex(c.hex);
        for (std::size_t length = 0; length < full.size(); ++length) {
            const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
            const DecodeResult result = decodePdu(cut);
            const auto* error = std::get_if<DecodeError>(&result);
            ASSERT_NE(error, nullptr) << c.name << " cut to " << length << " octets";
            EXPECT_LE(error->offset, length) << c.name << ": " << describe(*error);
        }
    }
}

TEST(DecodePdu, BrokenInputNamesTheField) {
    const struct {
        const char* hex;
        const char* field;
        std::size_t offset;
    } rows[] = {
        {"", "hex", 0},
        {"07912143658709F1040B9121436587G9F1", "hex", 30},
        {"0791214", "hex", 7},
        {"0C9121436587", "SMSC length", 0},
        {"07912143658709", "SMSC address", 1},
        {"0791214365870903", "TP-MTI", 8},
        {"07912143658709F104", "TP-OA", 9},
        {"07912143658709F10415912143658709F1", "TP-OA", 9},
        {"07912143658709F1040B912143658709", "TP-OA", 11},
        {"07912143658709F1040B912143658709F10000622150", "TP-SCTS", 19},
        {"07912143658709F1040B912143658709F10000622150127003210A", "TP-UD", 27},
        {"07912143658709F1040B912143658709F1000062215012700321A1", "TP-UDL", 26},
        {"07912143658709F1040B912143658709F100086221501270032190", "TP-UDL", 26},
        {"07912143658709F1440B912143658709F10000622150127003210105", "TP-UDHL", 27},
        {"07912143658709F1440B912143658709F1000062215012700321020900", "TP-UDHL", 27},
        {"07912143658709F1062A0B912143658709F162215012700321622150127003", "TP-DT", 25},
        {"07912143658709F1062A0B912143658709F16221501270032162215012700321", "TP-ST", 32},
        {"07912143658709F1112A0B912143658709F10000", "TP-VP", 20},
    };
    for (const auto& row : rows) {
        const DecodeResult result = decodePduHex(row.hex);
        const auto* error = std::get_if<DecodeError>(&result);
        ASSERT_NE(error, nullptr) << row.hex;
        EXPECT_EQ(error->field, row.field) << row.hex << ": " << describe(*error);
        EXPECT_EQ(error->offset, row.offset) << row.hex << ": " << describe(*error);
        EXPECT_FALSE(error->message.empty());
    }
}

// Same SMSC and sender as the documented example; only the user data header changes.
TEST(DecodePdu, ImpossibleConcatenationIsIgnoredAndTheTextKept) {
    const std::string head = "07912143658709F1440B912143658709F1000862215012700321";
    const struct {
        const char* udh;
        bool isPart;
    } rows[] = {
        {"0500035A0302", true},              // part 2 of 3
        {"0500035A0300", false},             // part 0
        {"0500035A0304", false},             // part 4 of 3
        {"0500035A0000", false},             // total 0
        {"0400025A03", false},               // wrong element length
        {"0B0504158A00000003770302", true},  // port addressing first, then concat
        {"06080412D30303", true},            // 16-bit reference, last part
        {"06080412D30003", false},           // 16-bit reference, total 0
        {"0708050102030405", false},         // 16-bit IEI with a 5-octet body: not a concat element
        {"03000503", false},                 // element longer than the header
    };
    for (const auto& row : rows) {
        const std::string udh = row.udh;
        const std::string text = "041F0440043804320435044200210020";  // "Привет! " as UCS2
        char udl[3];
        std::snprintf(udl, sizeof udl, "%02X", unsigned(udh.size() / 2 + text.size() / 2));
        const DecodedPdu pdu = decodeOk(head + udl + udh + text);
        EXPECT_EQ(pdu.concat.has_value(), row.isPart) << row.udh;
        EXPECT_EQ(pdu.text, U"Привет! ") << row.udh;
    }
}

TEST(DecodePdu, DataCodingSchemeGroups) {
    const struct {
        const char* dcs;
        Coding coding;
    } rows[] = {
        {"00", Coding::Gsm7},     {"04", Coding::EightBit}, {"08", Coding::Ucs2},
        {"0C", Coding::Gsm7},  // reserved alphabet: default alphabet
        {"10", Coding::Gsm7},     {"11", Coding::Gsm7},     {"18", Coding::Ucs2},
        {"24", Coding::EightBit},  // compressed: kept as data
        {"40", Coding::Gsm7},     {"48", Coding::Ucs2},     {"80", Coding::Gsm7},
        {"C0", Coding::Gsm7},     {"D8", Coding::Gsm7},     {"E0", Coding::Ucs2},
        {"F0", Coding::Gsm7},     {"F1", Coding::Gsm7},     {"F4", Coding::EightBit},
        {"F6", Coding::EightBit},
    };
    for (const auto& row : rows) {
        // "AB" as 7-bit is 2 septets in 2 octets; as UCS2 the same octets are one character.
        const std::string hex = std::string("07912143658709F1040B912143658709F100") + row.dcs +
                                "622150127003210241" + "21";
        const DecodedPdu pdu = decodeOk(hex);
        EXPECT_EQ(pdu.coding, row.coding) << row.dcs;
    }
}

TEST(DecodePdu, Gsm7EscapeWithoutExtensionCharacterShowsTheDefaultCharacter) {
    // Septets ESC 'A' ESC 0x65 ESC: a phone shows "A" for an escape the extension table lacks,
    // and a lone final escape as a blank.
    const std::string hex =
        "00040B912143658709F100006221501270032105"
        "9BE0A6BC01";
    EXPECT_EQ(decodeOk(hex).text, U"A€\u00A0");
}

TEST(DecodePdu, CarriageReturnPaddingOfEightNSeptetsIsDropped) {
    // "1234567" + CR: 8 septets, CR added by the sender so that the spare bits are not "@".
    EXPECT_EQ(decodeOk("00040B912143658709F10000622150127003210831D98C56B3DD1A").text, U"1234567");
    // Seven septets: no padding involved.
    EXPECT_EQ(decodeOk("00040B912143658709F10000622150127003210731D98C56B3DD00").text, U"1234567");
}

// A time stamp whose digits are not decimal is dropped; the message itself is kept.
TEST(DecodePdu, NonDecimalTimeStampIsDroppedNotTheMessage) {
    const DecodedPdu pdu = decodeOk(
        "07912143658709F1040B912143658709F10000"
        "6221A012700321"
        "05C8329BFD06");
    EXPECT_FALSE(pdu.timestamp.has_value());
    EXPECT_EQ(pdu.text, U"Hello");
    EXPECT_EQ(messageRecord(pdu, ReportTexts{}).timeStamp, U"");
    // Time zone octet 8A: low semi-octet A is the sign bit and tens digit 2, high semi-octet 8
    // the units: 28 quarter-hours west of UTC (UTC-7, as on the US west coast in summer).
    const DecodedPdu west = decodeOk(
        "07912143658709F1040B912143658709F10000"
        "622150127003"
        "8A"
        "05C8329BFD06");
    ASSERT_TRUE(west.timestamp.has_value());
    EXPECT_EQ(west.timestamp->tzQuarterHours, -28);
}

TEST(DecodePdu, HexLayerIgnoresBlanksAndCase) {
    const DecodedPdu pdu =
        decodeOk(" 07912143658709f1 040B912143658709F1 00006221501270032105c8329bfd06\r\n");
    EXPECT_EQ(pdu.text, U"Hello");
}

TEST(MessageRecord, RecordOfEachKind) {
    const ReportTexts texts{U"Delivered!", U"Pending!", U"Gone!"};
    const struct {
        const char* hex;
        std::u32string record;
    } rows[] = {
        {"07912143658709F1040B912143658709F100006221501270032105C8329BFD06",
         std::u32string(U"05.12.26 21:07:30") + kFieldMark + U"+12345678901" + kFieldMark +
             U"Hello"},
        {"07912143658709F1440B912143658709F10000622150127003210F0500035A0302E061391D44BFBF01",
         U"HEADER$5A-3$2*05.12.26 21:07:30" + std::u32string(1, kFieldMark) + U"+12345678901" +
             kFieldMark + U"part two"},
        {"07912143658709F1062A0B912143658709F1622150127003216221501270032100",
         U"05.12.26 21:07:30" + std::u32string(1, kFieldMark) + U"+12345678901" + kFieldMark +
             U"Отчет о доставке: Delivered! +12345678901"},
        {"002100098136397339F70008044F60597D",
         std::u32string(1, kFieldMark) + U"639337937" + kFieldMark + U"你好"},
        {"0791447758100650000C9144770009103200004230904150700000",
         U"09.03.24 14:05:07" + std::u32string(1, kFieldMark) + U"+447700900123" + kFieldMark},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(recordText(messageRecord(decodeOk(row.hex), texts)), row.record) << row.hex;
    }
}

TEST(MessageRecord, StatusGroupsPickTheirText) {
    const ReportTexts texts{U"D", U"S", U"X"};
    const struct {
        std::uint8_t status;
        std::u32string text;
    } rows[] = {{0x00, U"D"}, {0x1F, U"D"}, {0x20, U"S"}, {0x22, U"S"}, {0x3F, U"S"},
                {0x40, U"X"}, {0x46, U"X"}, {0x60, U"X"}, {0x7F, U"X"}, {0x80, U"X"}};
    for (const auto& row : rows)
        EXPECT_EQ(reportText(row.status, texts), row.text) << int(row.status);
}

TEST(MessageRecord, PartMarkerForBothReferenceSizes) {
    EXPECT_EQ(partMarker(Concat{0x5A, 8, 3, 2}), U"HEADER$5A-3$2*");
    EXPECT_EQ(partMarker(Concat{0x07, 8, 12, 10}), U"HEADER$07-12$10*");
    EXPECT_EQ(partMarker(Concat{0x12D3, 16, 2, 1}), U"HEADER$12D3-2$1*");
    EXPECT_EQ(partMarker(Concat{0x0010, 16, 2, 1}), U"HEADER$0010-2$1*");
}

TEST(MessageRecord, TextHoldsNoLineBreaksTabsOrFieldMarks) {
    const struct {
        std::u32string in, out;
    } rows[] = {
        {U"a\r\nb", U"a b"},
        {U"a\nb", U"a b"},
        {U"a\rb", U"a b"},
        {U"a\n\nb", U"a  b"},
        {U"a\r\n\r\nb", U"a  b"},
        {U"\n", U" "},
        {U"a\tb", U"a b"},
        {std::u32string(U"a") + kFieldMark + U"b", U"a b"},
        {U"", U""},
    };
    for (const auto& row : rows) EXPECT_EQ(flattenText(row.in), row.out);
}

}  // namespace
}  // namespace telvane::codec
