// The codec on real inputs: the alphabets against glibc's converter, captured PDUs decoded
// field by field (decode-cases.tsv), broken ones naming the field and offset, records as the
// gateway stores them, and SMS-SUBMIT encoding (submit-cases.tsv: PDUs, part boundaries,
// addresses, refusals; header fields). FuzzSubmit decodes what the encoder makes of any text.
#include <gtest/gtest.h>

#include <cstdio>
#include <variant>

#include "codec/Alphabets.h"
#include "codec/MessageRecord.h"
#include "codec/PduDecoder.h"
#include "codec/Submit.h"
#include "codec/SubmitFields.h"
#include "support/Tsv.h"

namespace telvane::codec {
namespace {

std::vector<test::TsvRow> rows(const char* name, std::size_t columns) {
    return test::readTsv(TELVANE_TEST_DATA "/pdu/" + std::string(name), columns);
}

DecodedPdu decodeOk(std::string_view hex) {
    DecodeResult result = decodePduHex(hex);
    if (auto* error = std::get_if<DecodeError>(&result)) {
        ADD_FAILURE() << hex << ": " << describe(*error);
        return {};
    }
    return std::get<DecodedPdu>(result);
}

SubmitMessage encodeOk(std::u32string_view text, SubmitOptions o = {}) {
    SubmitResult result = encodeSubmit("12345", text, o);
    if (auto* error = std::get_if<SubmitError>(&result)) {
        ADD_FAILURE() << "unexpected error: " << describe(*error);
        return {};
    }
    return std::get<SubmitMessage>(std::move(result));
}

SubmitOptions options(std::string smsc, bool report = false, int lastLongId = 1,
                      bool latin = false) {
    SubmitOptions o;
    o.smsc = std::move(smsc);
    o.report = report;
    o.lastLongId = lastLongId;
    o.toLatin = latin;
    return o;
}

TEST(Alphabets, FitSeptetsAndUtf8) {
    EXPECT_TRUE(fitsGsm7(U"Hello @ΩΣ {€}"));
    EXPECT_EQ(gsm7SeptetCount(U"Hello @ΩΣ {€}"), 13u + 3u);    // an extension character takes two
    for (const char32_t* text : {U"Привет", U"`", U"\u00A0"})  // the escape is no character
        EXPECT_FALSE(fitsGsm7(text));
    const std::u32string text = U"Aé€😀Ж";
    EXPECT_EQ(unicodeToUtf8(text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xD0\x96");
    EXPECT_EQ(utf8ToUnicode(unicodeToUtf8(text)), text);
    // A stray continuation, truncated at the end, overlong, a UTF-16 surrogate, beyond U+10FFFF,
    // truncated in the middle: one U+FFFD each.
    for (const auto& [bytes, decoded] : {std::pair<std::string, std::u32string>{"\x80", U"\uFFFD"},
                                         {"a\xC3", U"a\uFFFD"},
                                         {"\xC0\xAF", U"\uFFFD"},
                                         {"\xED\xA0\x80", U"\uFFFD"},
                                         {"\xF4\x90\x80\x80", U"\uFFFD"},
                                         {"\xE2\x82x", U"\uFFFDx"}})
        EXPECT_EQ(utf8ToUnicode(bytes), decoded);
    EXPECT_EQ(unicodeToUtf8(std::u32string(1, char32_t{0xD83D})), "\xEF\xBF\xBD");
    // Files users write, read with Windows-1251 set: UTF-8 "и" is also "Рё" in Windows-1251,
    // and both letters are Russian; "é" holds no Cyrillic.
    using E = TextEncoding;
    for (const auto& [bytes, configured, text, readAs] :
         {std::tuple<std::string, E, std::u32string, E>{"\xD0\xB8", E::Cp1251, U"Рё", E::Cp1251},
          {"\xD0\xB8\xD0\xBD", E::Cp1251, U"ин", E::Utf8},
          {"caf\xC3\xA9", E::Cp1251, U"cafГ©", E::Cp1251},
          {"caf\xC3\xA9", E::Utf8, U"café", E::Utf8},
          {"\xEF\xBB\xBF\xC3", E::Cp1251, U"\uFFFD", E::Utf8}}) {
        const UserText read = readUserText(bytes, configured);
        EXPECT_EQ(read.text, text);
        EXPECT_EQ(read.readAs, readAs);
    }
}

// The Windows-1251 table against glibc's converter (the data file records its output).
TEST(Alphabets, EveryWindows1251ByteAgreesWithIconvAndLossyOutputIsOneQuestionMarkEach) {
    const auto iconv = rows("cp1251-iconv.txt", 2);
    ASSERT_EQ(iconv.size(), 256u);
    for (const auto& row : iconv) {
        const std::string line = row[0];
        const auto byte = static_cast<std::uint8_t>(std::stoul(line.substr(0, 2), nullptr, 16));
        const std::string code = line.substr(line.find(' ') + 1);
        const char32_t c =
            code == "none" ? U'\uFFFD' : char32_t(std::stoul(code.substr(2), nullptr, 16));
        EXPECT_EQ(cp1251ToUnicode(byte), c) << line;
        EXPECT_EQ(unicodeToCp1251(c), code == "none" ? std::nullopt : std::optional(byte)) << line;
    }
    for (const auto& [text, bytes] :
         {std::pair<std::u32string, std::string>{U"Ёё№€«»—–“”„",
                                                 "\xA8\xB8\xB9\x88\xAB\xBB\x97\x96\x93\x94\x84"},
          {U"a😀b", "a?b"},  // a surrogate pair in UTF-16 is one "?"
          {U"中文", "??"},
          {U"é\uFFFD", "??"}}) {  // U+FFFD never maps to 0x98
        EXPECT_EQ(unicodeToCp1251Lossy(text), bytes);
    }
    EXPECT_EQ(cp1251ToUnicode(std::string_view("\xC0\xFF\xA8")), U"АяЁ");
}

std::string concatText(const std::optional<Concat>& c) {
    if (!c) return "-";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, c->refBits == 16 ? "%04X/%d/%zu/%zu" : "%02X/%d/%zu/%zu",
                  unsigned{c->ref}, c->refBits, c->total, c->seq);
    return buffer;
}

// Columns: name, source, hex, type, smsc, number, timestamp, coding, concat, status, text.
TEST(DecodePdu, CapturedPdusGiveTheirFieldsAndEveryTruncationIsAnError) {
    const char* kinds[] = {"deliver", "status-report", "submit"};  // MessageKind order
    const char* codings[] = {"gsm7", "ucs2", "8bit"};              // Coding order
    for (const auto& c : rows("decode-cases.tsv", 11)) {
        SCOPED_TRACE(c[0] + " — " + c[1]);
        const DecodedPdu pdu = decodeOk(c[2]);
        EXPECT_EQ(kinds[int(pdu.kind)], c[3]);
        EXPECT_EQ(pdu.smsc, c[4]);
        EXPECT_EQ(unicodeToUtf8(pdu.number), c[5]);
        EXPECT_EQ(pdu.timestamp ? unicodeToUtf8(formatTimeStamp(*pdu.timestamp)) : "", c[6]);
        EXPECT_EQ(codings[int(pdu.coding)], c[7]);
        EXPECT_EQ(concatText(pdu.concat), c[8]);
        EXPECT_EQ(pdu.status ? toHex(Bytes{*pdu.status}) : "-", c[9]);
        EXPECT_EQ(unicodeToUtf8(pdu.text), c[10]);
        // Every field is needed: a capture cut short anywhere is an error within the octets given.
        const Bytes full = *fromHex(c[2]);
        for (std::size_t length = 0; length < full.size(); ++length) {
            const DecodeResult cut = decodePdu(Bytes(full.begin(), full.begin() + long(length)));
            const auto* error = std::get_if<DecodeError>(&cut);
            ASSERT_NE(error, nullptr) << "cut to " << length << " octets";
            EXPECT_LE(error->offset, length) << describe(*error);
        }
    }
}

TEST(DecodePdu, BrokenInputNamesTheFieldAndOffset) {
    for (const auto& row : rows("decode-errors.tsv", 4)) {
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
// "AB" as 7-bit is 2 septets in 2 octets; as UCS2 the same octets are one character.
TEST(DecodePdu, UserDataHeadersAndCodingGroups) {
    const std::string text = "041F0440043804320435044200210020";  // "Привет! " as UCS2
    for (const auto& row : rows("user-data-headers.tsv", 3)) {
        char udl[3];
        std::snprintf(udl, sizeof udl, "%02X", unsigned(row[0].size() / 2 + text.size() / 2));
        const DecodedPdu pdu = decodeOk("07912143658709F1440B912143658709F1000862215012700321" +
                                        (udl + row[0]) + text);
        EXPECT_EQ(pdu.concat.has_value(), row[1] == "1") << row[2];
        EXPECT_EQ(pdu.text, U"Привет! ") << row[2];
    }
    const char* codings[] = {"gsm7", "ucs2", "8bit"};
    for (const auto& row : rows("dcs-groups.tsv", 3)) {
        const DecodedPdu pdu =
            decodeOk("07912143658709F1040B912143658709F100" + row[0] + "6221501270032102412" + "1");
        EXPECT_EQ(codings[int(pdu.coding)], row[1]) << row[0] << ": " << row[2];
    }
}

TEST(DecodePdu, TextQuirksOfSendersAndHostsAndTimeStamps) {
    const struct {
        const char* hex;
        std::u32string text;
        const char* why;
    } quirks[] = {
        // A phone shows "A" for an escape the extension table lacks, a final escape as a blank.
        {"00040B912143658709F1000062215012700321059BE0A6BC01", U"A€\u00A0", "ESC A ESC 65 ESC"},
        {"00040B912143658709F10000622150127003210831D98C56B3DD1A", U"1234567",
         "CR padding of 8n septets, added so that the spare bits are not '@', dropped"},
        {" 07912143658709f1 040B912143658709F1 00006221501270032105c8329bfd06\r\n", U"Hello",
         "hex with blanks and lower case"},
    };
    for (const auto& q : quirks) EXPECT_EQ(decodeOk(q.hex).text, q.text) << q.why;
    // A time stamp whose digits are not decimal is dropped; the message itself is kept.
    const DecodedPdu bad =
        decodeOk("07912143658709F1040B912143658709F100006221A01270032105C8329BFD06");
    EXPECT_FALSE(bad.timestamp.has_value());
    EXPECT_EQ(messageRecord(bad, ReportTexts{}).timeStamp, U"");
    // Time zone octet 8A: the sign bit and tens digit 2 in A, the units 8: UTC-7.
    EXPECT_EQ(decodeOk("07912143658709F1040B912143658709F100006221501270038A05C8329BFD06")
                  .timestamp->tzQuarterHours,
              -28);
}

TEST(MessageRecord, RecordsReportTextsPartMarkersAndOneLineTexts) {
    const ReportTexts texts{U"Delivered!", U"Pending!", U"Gone!"};
    for (const auto& row : rows("records.tsv", 2))
        EXPECT_EQ(unicodeToUtf8(recordText(messageRecord(decodeOk(row[0]), texts))), row[1])
            << row[0];
    const ReportTexts letters{U"D", U"S", U"X"};
    for (const auto& [status, text] : {std::pair<std::uint8_t, char32_t>{0x00, U'D'},
                                       {0x1F, U'D'},
                                       {0x20, U'S'},
                                       {0x3F, U'S'},
                                       {0x40, U'X'},
                                       {0x7F, U'X'},
                                       {0x80, U'X'}})
        EXPECT_EQ(reportText(status, letters), std::u32string(1, text)) << int(status);
    EXPECT_EQ(partMarker(Concat{0x07, 8, 12, 10}), U"HEADER$07-12$10*");
    EXPECT_EQ(partMarker(Concat{0x0010, 16, 2, 1}), U"HEADER$0010-2$1*");
    for (const auto& [in, out] :
         {std::pair<std::u32string, std::u32string>{U"a\r\nb\nc\rd", U"a b c d"},
          {U"a\n\nb", U"a  b"},
          {U"a\r\n\r\nb", U"a  b"},
          {U"a\tb", U"a b"},
          {std::u32string(U"a") + kFieldMark + U"b", U"a b"}})
        EXPECT_EQ(flattenText(in), out);
}

// With the destination 12345 and SMSC part 00: FO MR DA(5 octets) PID DCS VP, then TP-UDL.
constexpr std::size_t kUdl = 2 + 2 * 10;

// TP-UDL of each part, or with `at`, the octet at that hex offset of each part.
std::vector<std::size_t> octets(const SubmitMessage& message, std::size_t at = kUdl) {
    std::vector<std::size_t> result;
    for (const SubmitPart& part : message.parts)
        result.push_back(std::stoul(part.pdu.substr(at, 2), nullptr, 16));
    return result;
}

// UTF-8 with \u{HEX} for any code point and {c*N} for N times c.
std::u32string expand(const std::string& text) {
    std::u32string out;
    const std::u32string in = utf8ToUnicode(text);
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::size_t close = in.find(U'}', i);
        if (in.compare(i, 3, U"\\u{") == 0 && close != std::u32string::npos) {
            out +=
                char32_t(std::stoul(unicodeToUtf8(in.substr(i + 3, close - i - 3)), nullptr, 16));
            i = close;
        } else if (in[i] == U'{' && i + 2 < in.size() && in[i + 2] == U'*' &&
                   close != std::u32string::npos) {
            out.append(std::stoul(unicodeToUtf8(in.substr(i + 3, close - i - 3))), in[i + 1]);
            i = close;
        } else {
            out += in[i];
        }
    }
    return out;
}

TEST(EncodeSubmit, TableOfPdusPartsAddressesAndRefusals) {
    const char* codes[] = {"EmptyNumber", "NumberNotDigits", "NumberTooLong",    "SmscNotDigits",
                           "SmscTooLong", "EmptyText",       "InvalidCharacter", "TooManyParts"};
    const char* fields[] = {"Number", "Smsc", "Text"};
    for (const auto& row : rows("submit-cases.tsv", 4)) {
        SCOPED_TRACE(row[0] + " " + row[1].substr(0, 40) + ": " + row[3]);
        const std::string& kind = row[0];
        if (kind == "pdu") {
            const SubmitMessage message = encodeOk(expand(row[1]));
            ASSERT_EQ(message.parts.size(), 1u);
            EXPECT_EQ(message.parts[0].pdu, row[2]);
            EXPECT_EQ(message.parts[0].tpduLength, row[2].size() / 2 - 1);
        } else if (kind == "udl") {
            std::string udls;
            for (std::size_t udl : octets(encodeOk(expand(row[1]))))
                udls += (udls.empty() ? "" : ",") + std::to_string(udl);
            EXPECT_EQ(udls, row[2]);
        } else if (kind == "da" || kind == "sc") {
            auto field = kind == "sc" ? encodeSmscField(row[1]) : encodeDestinationField(row[1]);
            ASSERT_TRUE(std::holds_alternative<Bytes>(field));
            EXPECT_EQ(toHex(std::get<Bytes>(field)), row[2]);
        } else {
            const std::string number = row[1].substr(0, row[1].find('|'));
            const std::string text =
                row[1].substr(number.size() + 1, row[1].rfind('|') - number.size() - 1);
            const SubmitResult result =
                encodeSubmit(number, expand(text), options(row[1].substr(row[1].rfind('|') + 1)));
            ASSERT_TRUE(std::holds_alternative<SubmitError>(result));
            const SubmitError& error = std::get<SubmitError>(result);
            EXPECT_EQ(std::string(codes[int(error.code)]) + " " + fields[int(error.field)] + " " +
                          std::to_string(error.offset),
                      row[2]);
            EXPECT_FALSE(describe(error).empty());
        }
    }
    EXPECT_EQ(encodeOk(U"abc", options("+79168999100")).parts[0].pdu,
              "07919761989901F0110005812143F50000AA0361F118");
    EXPECT_EQ(encodeOk(std::u32string(255 * 153, U'a')).parts.size(), 255u);
    EXPECT_EQ(encodeOk(std::u32string(255 * 67, U'Д')).parts.size(), 255u);
}

TEST(EncodeSubmit, ConcatenationHeaderFirstOctetAndLongId) {
    const SubmitMessage message = encodeOk(std::u32string(307, U'a'), options("", false, 41));
    ASSERT_EQ(message.parts.size(), 3u);
    EXPECT_EQ(message.longId, 42);
    for (std::size_t k = 0; k < 3; ++k)  // TP-UDL, then 05 00 03 reference count sequence
        EXPECT_EQ(message.parts[k].pdu.substr(kUdl + 2, 12),
                  "050003" + toHex({42, 3, static_cast<std::uint8_t>(k + 1)}));
    // The first text septet starts on bit 49: one fill bit, then 'a' (1100001) shifted by one.
    EXPECT_EQ(message.parts[0].pdu.substr(kUdl + 14, 2), "C2");
    using V = std::vector<std::size_t>;
    EXPECT_EQ(octets(encodeOk(U"hi"), 2), V{0x11});
    EXPECT_EQ(octets(encodeOk(U"hi", options("", true)), 2), V{0x31});
    EXPECT_EQ(octets(message, 2), (V{0x51, 0x51, 0x51}));
    // One delivery report per message: only the last part asks.
    EXPECT_EQ(octets(encodeOk(std::u32string(307, U'a'), options("", true)), 2),
              (V{0x51, 0x51, 0x71}));

    for (auto [last, next] : {std::pair{1, 2}, {254, 255}, {255, 1}, {0, 1}, {-3, 1}, {70000, 1}})
        EXPECT_EQ(nextLongId(last), next) << last;
    // A single message leaves the LongID alone; a long one takes the next reference.
    EXPECT_EQ(encodeOk(U"short", options("", false, 255)).longId, 255);
    const SubmitMessage wrapped = encodeOk(std::u32string(161, U'a'), options("", false, 255));
    EXPECT_EQ(wrapped.longId, 1);
    EXPECT_EQ(wrapped.parts[0].pdu.substr(kUdl + 8, 2), "01");
}

TEST(EncodeSubmit, TextIsPreparedAndTransliterated) {
    EXPECT_EQ(encodeOk(U"  line one\r\nline two\n  ").text, U"line oneline two");
    EXPECT_EQ(prepareText(U"\tx \t", false), U"\tx \t");  // only spaces are trimmed
    EXPECT_EQ(prepareText(U" Щука, объём ", true), U"SCHuka, ob'em");
    const SubmitOptions latin = options("", false, 1, true);
    EXPECT_EQ(encodeOk(U"Привет, мир", latin).parts[0].coding, SubmitCoding::Gsm7);
    EXPECT_EQ(encodeOk(U"Заказ №5", latin).parts[0].coding, SubmitCoding::Ucs2);  // № stays
    EXPECT_EQ(encodeOk(std::u32string(80, U'Щ'), latin).parts.size(), 2u);  // 240 Latin letters
}

}  // namespace
}  // namespace telvane::codec
