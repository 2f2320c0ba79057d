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

using Row = std::vector<std::string>;

// The TAB-separated rows of tests/data/pdu/NAME, \n \r \t \0 \\ unescaped, padded to `columns`.
std::vector<Row> tsvRows(const std::string& name, std::size_t columns) {
    std::ifstream in(TELVANE_TEST_DATA "/pdu/" + name);
    EXPECT_TRUE(in) << name;
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        Row fields(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\t') {
                fields.emplace_back();
            } else if (c != '\\' || i + 1 == line.size()) {
                fields.back() += c;
            } else {
                const char e = line[++i];
                fields.back() += e == 'n'   ? '\n'
                                 : e == 'r' ? '\r'
                                 : e == 't' ? '\t'
                                 : e == '0' ? '\0'
                                            : e;
            }
        }
        if (fields.size() + 1 == columns) fields.emplace_back();  // empty last field
        EXPECT_EQ(fields.size(), columns) << name << ": " << line;
        fields.resize(columns);
        rows.push_back(std::move(fields));
    }
    return rows;
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
        ADD_FAILURE() << std::string(hex) << ": " << describe(*error);
        return {};
    }
    return std::get<DecodedPdu>(result);
}

// Columns: name, source, hex, type, smsc, number, timestamp, coding, concat, status, text.
TEST(DecodePdu, CapturedPdusGiveTheirFields) {
    const std::vector<Row> cases = tsvRows("decode-cases.tsv", 11);
    ASSERT_GE(cases.size(), 40u);
    const char* kinds[] = {"deliver", "status-report", "submit"};  // MessageKind order
    const char* codings[] = {"gsm7", "ucs2", "8bit"};              // Coding order
    for (const Row& c : cases) {
        SCOPED_TRACE(c[0] + " — " + c[1]);
        const DecodedPdu pdu = decodeOk(c[2]);
        EXPECT_EQ(kinds[static_cast<int>(pdu.kind)], c[3]);
        EXPECT_EQ(pdu.smsc, c[4]);
        EXPECT_EQ(unicodeToUtf8(pdu.number), c[5]);
        EXPECT_EQ(pdu.timestamp ? unicodeToUtf8(formatTimeStamp(*pdu.timestamp)) : "", c[6]);
        EXPECT_EQ(codings[static_cast<int>(pdu.coding)], c[7]);
        EXPECT_EQ(concatText(pdu.concat), c[8]);
        EXPECT_EQ(pdu.status ? toHex(Bytes{*pdu.status}) : "-", c[9]);
        EXPECT_EQ(unicodeToUtf8(pdu.text), c[10]);
    }
}

// Every field is needed: cutting any captured PDU short gives an error, never a message.
TEST(DecodePdu, EveryTruncationOfACaptureIsAnError) {
    for (const Row& c : tsvRows("decode-cases.tsv", 11)) {
        const Bytes full = *fromHex(c[2]);
        for (std::size_t length = 0; length < full.size(); ++length) {
            const DecodeResult result = decodePdu(Bytes(full.begin(), full.begin() + length));
            const auto* error = std::get_if<DecodeError>(&result);
            ASSERT_NE(error, nullptr) << c[0] << " cut to " << length << " octets";
            EXPECT_LE(error->offset, length) << c[0] << ": " << describe(*error);
        }
    }
}

TEST(DecodePdu, BrokenInputNamesTheFieldAndOffset) {
    for (const Row& row : tsvRows("decode-errors.tsv", 4)) {
        SCOPED_TRACE(row[3] + ": " + row[0]);
        const DecodeResult result = decodePduHex(row[0]);
        const auto* error = std::get_if<DecodeError>(&result);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->field, row[1]) << describe(*error);
        EXPECT_EQ(error->offset, std::stoul(row[2])) << describe(*error);
        EXPECT_FALSE(error->message.empty());
    }
}

// Malformed optional elements are ignored, as ModemManager does; the text is kept either way.
TEST(DecodePdu, ImpossibleConcatenationIsIgnoredAndTheTextKept) {
    const std::string text = "041F0440043804320435044200210020";  // "Привет! " as UCS2
    for (const Row& row : tsvRows("user-data-headers.tsv", 3)) {
        char udl[3];
        std::snprintf(udl, sizeof udl, "%02X", unsigned(row[0].size() / 2 + text.size() / 2));
        const DecodedPdu pdu = decodeOk("07912143658709F1440B912143658709F1000862215012700321" +
                                        (udl + row[0]) + text);
        EXPECT_EQ(pdu.concat.has_value(), row[1] == "1") << row[2];
        EXPECT_EQ(pdu.text, U"Привет! ") << row[2];
    }
}

// "AB" as 7-bit is 2 septets in 2 octets; as UCS2 the same octets are one character.
TEST(DecodePdu, DataCodingSchemeGroups) {
    const char* codings[] = {"gsm7", "ucs2", "8bit"};
    for (const Row& row : tsvRows("dcs-groups.tsv", 3)) {
        const DecodedPdu pdu = decodeOk("07912143658709F1040B912143658709F100" + row[0] +
                                        "622150127003210241"
                                        "21");
        EXPECT_EQ(codings[static_cast<int>(pdu.coding)], row[1]) << row[0] << ": " << row[2];
    }
}

TEST(DecodePdu, TextQuirksOfSendersAndHosts) {
    const struct {
        const char* hex;
        std::u32string text;
        const char* why;
    } rows[] = {
        // A phone shows "A" for an escape the extension table lacks, a final escape as a blank.
        {"00040B912143658709F1000062215012700321059BE0A6BC01", U"A€\u00A0", "ESC A ESC 65 ESC"},
        {"00040B912143658709F10000622150127003210831D98C56B3DD1A", U"1234567",
         "CR padding of 8n septets, added so that the spare bits are not '@', dropped"},
        {"00040B912143658709F10000622150127003210731D98C56B3DD00", U"1234567", "7 septets"},
        {" 07912143658709f1 040B912143658709F1 00006221501270032105c8329bfd06\r\n", U"Hello",
         "hex with blanks and lower case"},
    };
    for (const auto& row : rows) EXPECT_EQ(decodeOk(row.hex).text, row.text) << row.why;
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

TEST(MessageRecord, RecordsReportTextsAndPartMarkers) {
    const ReportTexts texts{U"Delivered!", U"Pending!", U"Gone!"};
    for (const Row& row : tsvRows("records.tsv", 2)) {
        EXPECT_EQ(unicodeToUtf8(recordText(messageRecord(decodeOk(row[0]), texts))), row[1])
            << row[0];
    }
    const ReportTexts letters{U"D", U"S", U"X"};
    const std::pair<std::uint8_t, std::u32string> statuses[] = {
        {0x00, U"D"}, {0x1F, U"D"}, {0x20, U"S"}, {0x22, U"S"}, {0x3F, U"S"},
        {0x40, U"X"}, {0x46, U"X"}, {0x60, U"X"}, {0x7F, U"X"}, {0x80, U"X"}};
    for (const auto& [status, text] : statuses)
        EXPECT_EQ(reportText(status, letters), text) << int(status);
    EXPECT_EQ(partMarker(Concat{0x07, 8, 12, 10}), U"HEADER$07-12$10*");
    EXPECT_EQ(partMarker(Concat{0x12D3, 16, 2, 1}), U"HEADER$12D3-2$1*");
    EXPECT_EQ(partMarker(Concat{0x0010, 16, 2, 1}), U"HEADER$0010-2$1*");
}

TEST(MessageRecord, TextHoldsNoLineBreaksTabsOrFieldMarks) {
    const std::pair<std::u32string, std::u32string> rows[] = {
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
    for (const auto& [in, out] : rows) EXPECT_EQ(flattenText(in), out);
}

}  // namespace
}  // namespace telvane::codec
