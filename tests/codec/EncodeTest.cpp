// SMS-SUBMIT encoding: worked examples, address fields, part boundaries, header fields.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "codec/Septets.h"
#include "codec/Submit.h"
#include "codec/SubmitFields.h"

namespace telvane::codec {
namespace {

SubmitOptions withSmsc(std::string smsc) {
    SubmitOptions options;
    options.smsc = std::move(smsc);
    return options;
}

SubmitOptions withReport() {
    SubmitOptions options;
    options.report = true;
    return options;
}

SubmitOptions withLastLongId(int lastLongId) {
    SubmitOptions options;
    options.lastLongId = lastLongId;
    return options;
}

SubmitMessage encodeOk(std::string_view number, std::u32string_view text,
                       const SubmitOptions& options = {}) {
    SubmitResult result = encodeSubmit(number, text, options);
    if (auto* error = std::get_if<SubmitError>(&result)) {
        ADD_FAILURE() << "unexpected error: " << describe(*error);
        return {};
    }
    return std::get<SubmitMessage>(std::move(result));
}

SubmitError encodeFails(std::string_view number, std::u32string_view text,
                        const SubmitOptions& options = {}) {
    SubmitResult result = encodeSubmit(number, text, options);
    if (!std::holds_alternative<SubmitError>(result)) {
        ADD_FAILURE() << "encoded although it should not";
        return {};
    }
    return std::get<SubmitError>(result);
}

// Octet `index` of the TPDU of a PDU whose SMSC part is the single octet 00.
unsigned tpduOctet(const SubmitPart& part, std::size_t index) {
    return static_cast<unsigned>(std::stoul(part.pdu.substr(2 + 2 * index, 2), nullptr, 16));
}

// With the destination 12345: FO MR DA(5 octets) PID DCS VP, then TP-UDL.
constexpr std::size_t kUdlIndex = 10;

std::vector<std::size_t> udls(const SubmitMessage& message) {
    std::vector<std::size_t> result;
    for (const SubmitPart& part : message.parts) result.push_back(tpduOctet(part, kUdlIndex));
    return result;
}

std::vector<unsigned> firstOctets(const SubmitMessage& message) {
    std::vector<unsigned> result;
    for (const SubmitPart& part : message.parts) result.push_back(tpduOctet(part, 0));
    return result;
}

TEST(EncodeSubmit, WorkedExamples) {
    struct Row {
        std::u32string text;
        std::string pdu;
    };
    const Row rows[] = {
        // "abc" packs into 61 F1 18 behind TP-UDL 03.
        {U"abc", "00110005912143F50000AA0361F118"},
        // Д and а as U+0414 U+0430.
        {U"Да", "00110005912143F50008AA0404140430"},
        // $ 02, _ 11, @ 00, € 1B 65, { 1B 28: positions in the default alphabet, not codes.
        {U"$_@€{", "00110005912143F50000AA0782086053DEA000"},
        // Ё, ё, № travel as themselves.
        {U"Ёё№", "00110005912143F50008AA06040104512116"},
        // Beyond the BMP: a surrogate pair.
        {U"😀", "00110005912143F50008AA04D83DDE00"},
        // U+00A0 is no character of the default alphabet, whatever a lone escape shows as.
        {U"a\u00A0b", "00110005912143F50008AA06006100A00062"},
    };
    for (const Row& row : rows) {
        const SubmitMessage message = encodeOk("12345", row.text);
        ASSERT_EQ(message.parts.size(), 1u);
        EXPECT_EQ(message.parts[0].pdu, row.pdu);
        EXPECT_EQ(message.parts[0].tpduLength, row.pdu.size() / 2 - 1);
    }
}

TEST(EncodeSubmit, DestinationField) {
    struct Row {
        std::string number;
        std::string field;
    };
    const Row rows[] = {
        {"12345", "05912143F5"},
        {"+12345", "05912143F5"},
        {"  12345  ", "05912143F5"},
        {"79161234567", "0B919761214365F7"},
        {"89161234567", "0B919761214365F7"},           // domestic 8 sent as 7
        {"+89161234567", "0B919861214365F7"},          // written as international: kept
        {"1234567890123456", "10912143658709214365"},  // 16 digits: length as a full octet
        {"12345678901234567890", "149121436587092143658709"},
    };
    for (const Row& row : rows) {
        auto field = encodeDestinationField(row.number);
        ASSERT_TRUE(std::holds_alternative<Bytes>(field)) << row.number;
        EXPECT_EQ(toHex(std::get<Bytes>(field)), row.field) << row.number;
    }
    EXPECT_EQ(toSemiOctets("12345"), "2143F5");
    EXPECT_EQ(toSemiOctets("1234"), "2143");
    EXPECT_EQ(toSemiOctets(""), "");
}

TEST(EncodeSubmit, SmscField) {
    struct Row {
        std::string smsc;
        std::string field;
    };
    const Row rows[] = {
        {"", "00"},  // the phone uses its own centre
        {"   ", "00"},
        {"+79168999100", "07919761989901F0"},
        {"79168999100", "07919761989901F0"},
        {"12345", "04912143F5"},
        {"12345678901234567890", "0B9121436587092143658709"},
    };
    for (const Row& row : rows) {
        auto field = encodeSmscField(row.smsc);
        ASSERT_TRUE(std::holds_alternative<Bytes>(field)) << row.smsc;
        EXPECT_EQ(toHex(std::get<Bytes>(field)), row.field) << row.smsc;
    }
    const SubmitMessage message = encodeOk("12345", U"abc", withSmsc("+79168999100"));
    EXPECT_EQ(message.parts[0].pdu, "07919761989901F0110005912143F50000AA0361F118");
    EXPECT_EQ(message.parts[0].tpduLength, 14u);
}

TEST(EncodeSubmit, RefusesWhatCannotBeSent) {
    struct Row {
        std::string number;
        std::u32string text;
        std::string smsc;
        SubmitErrorCode code;
        SubmitField field;
        std::size_t offset;
    };
    const std::u32string lone{U'a', static_cast<char32_t>(0xD800)};
    const std::u32string beyond{U'a', U'b', static_cast<char32_t>(0x110000)};
    const Row rows[] = {
        {"", U"hi", "", SubmitErrorCode::EmptyNumber, SubmitField::Number, 0},
        {"   ", U"hi", "", SubmitErrorCode::EmptyNumber, SubmitField::Number, 0},
        {"+", U"hi", "", SubmitErrorCode::NumberNotDigits, SubmitField::Number, 0},
        {"12-45", U"hi", "", SubmitErrorCode::NumberNotDigits, SubmitField::Number, 2},
        {"++12", U"hi", "", SubmitErrorCode::NumberNotDigits, SubmitField::Number, 1},
        {"12 34", U"hi", "", SubmitErrorCode::NumberNotDigits, SubmitField::Number, 2},
        {"7916\t", U"hi", "", SubmitErrorCode::NumberNotDigits, SubmitField::Number, 4},
        {"123456789012345678901", U"hi", "", SubmitErrorCode::NumberTooLong, SubmitField::Number,
         20},
        {"12345", U"hi", "+7(916)", SubmitErrorCode::SmscNotDigits, SubmitField::Smsc, 2},
        {"12345", U"hi", "123456789012345678901", SubmitErrorCode::SmscTooLong, SubmitField::Smsc,
         20},
        {"12345", U"", "", SubmitErrorCode::EmptyText, SubmitField::Text, 0},
        {"12345", U"  \r\n  ", "", SubmitErrorCode::EmptyText, SubmitField::Text, 0},
        {"12345", lone, "", SubmitErrorCode::InvalidCharacter, SubmitField::Text, 1},
        {"12345", beyond, "", SubmitErrorCode::InvalidCharacter, SubmitField::Text, 2},
    };
    for (const Row& row : rows) {
        const SubmitError error = encodeFails(row.number, row.text, withSmsc(row.smsc));
        EXPECT_EQ(error.code, row.code) << row.number << " / " << row.smsc;
        EXPECT_EQ(error.field, row.field) << row.number << " / " << row.smsc;
        EXPECT_EQ(error.offset, row.offset) << row.number << " / " << row.smsc;
        EXPECT_FALSE(describe(error).empty());
    }
}

TEST(EncodeSubmit, TextIsPreparedBeforeEncoding) {
    const SubmitMessage message = encodeOk("12345", U"  line one\r\nline two\n  ");
    EXPECT_EQ(message.text,
              U"line one"
              U"line two");
    // Only spaces are trimmed: a TAB at either end is part of the message.
    EXPECT_EQ(prepareText(U"\tx \t", false), U"\tx \t");
    EXPECT_EQ(prepareText(U" Щука ", true), U"SCHuka");
}

struct SplitRow {
    const char* name;
    std::u32string text;
    std::vector<std::size_t> udls;  // TP-UDL of each part, header included
};

std::u32string repeat(std::u32string_view piece, std::size_t times) {
    std::u32string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(EncodeSubmit, PartBoundaries) {
    const SplitRow rows[] = {
        {"160 septets", repeat(U"a", 160), {160}},
        {"161 septets", repeat(U"a", 161), {160, 15}},
        {"306 septets", repeat(U"a", 306), {160, 160}},
        {"307 septets", repeat(U"a", 307), {160, 160, 8}},
        // 80 extension characters are 160 septets: still one message.
        {"160 septets of escapes", repeat(U"€", 80), {160}},
        // The escape pair would take septets 153 and 154: it opens part 2 instead.
        {"escape at septet 153", repeat(U"a", 152) + U"€" + repeat(U"a", 10), {159, 19}},
        {"escape ending at septet 153", repeat(U"a", 151) + U"€" + repeat(U"a", 10), {160, 17}},
        // UCS2: TP-UDL counts octets, the six header octets included.
        {"70 UCS2", repeat(U"Д", 70), {140}},
        {"71 UCS2", repeat(U"Д", 71), {140, 14}},
        {"134 UCS2", repeat(U"Д", 134), {140, 140}},
        {"135 UCS2", repeat(U"Д", 135), {140, 140, 8}},
        {"35 surrogate pairs", repeat(U"😀", 35), {140}},
        // The pair would take units 67 and 68: it opens part 2 instead.
        {"surrogate pair at unit 67", repeat(U"Д", 66) + U"😀" + repeat(U"Д", 10), {138, 30}},
    };
    for (const SplitRow& row : rows) {
        const SubmitMessage message = encodeOk("12345", row.text);
        EXPECT_EQ(udls(message), row.udls) << row.name;
        for (const SubmitPart& part : message.parts) {
            EXPECT_EQ(part.count, row.udls.size()) << row.name;
            EXPECT_EQ(part.tpduLength, part.pdu.size() / 2 - 1) << row.name;
            EXPECT_LE(part.tpduLength, 11u + 140u) << row.name;
        }
    }
}

TEST(EncodeSubmit, ConcatenationHeader) {
    const SubmitMessage message = encodeOk("12345", repeat(U"a", 307), withLastLongId(41));
    ASSERT_EQ(message.parts.size(), 3u);
    EXPECT_EQ(message.longId, 42);
    for (std::size_t k = 0; k < 3; ++k) {
        const SubmitPart& part = message.parts[k];
        EXPECT_EQ(part.number, k + 1);
        // TP-UDL, then 05 00 03 reference count sequence.
        EXPECT_EQ(part.pdu.substr(2 + 2 * kUdlIndex + 2, 12),
                  "050003" + toHex({42, 3, static_cast<std::uint8_t>(k + 1)}));
    }
    // The first text septet starts on bit 49: one fill bit, then 'a' (1100001) shifted by one.
    EXPECT_EQ(message.parts[0].pdu.substr(2 + 2 * kUdlIndex + 14, 2), "C2");
}

TEST(EncodeSubmit, FirstOctet) {
    EXPECT_EQ(firstOctets(encodeOk("12345", U"hi")), (std::vector<unsigned>{0x11}));
    EXPECT_EQ(firstOctets(encodeOk("12345", U"hi", withReport())), (std::vector<unsigned>{0x31}));
    EXPECT_EQ(firstOctets(encodeOk("12345", repeat(U"a", 307))),
              (std::vector<unsigned>{0x51, 0x51, 0x51}));
    // One delivery report per message: only the last part asks.
    EXPECT_EQ(firstOctets(encodeOk("12345", repeat(U"a", 307), withReport())),
              (std::vector<unsigned>{0x51, 0x51, 0x71}));
}

TEST(EncodeSubmit, LongIdAdvance) {
    const std::pair<int, int> rows[] = {{1, 2}, {41, 42}, {254, 255}, {255, 1},
                                        {0, 1}, {-3, 1},  {256, 1},   {70000, 1}};
    for (auto [last, next] : rows) EXPECT_EQ(nextLongId(last), next) << last;

    // A single message leaves the LongID alone; a long one takes the next reference.
    EXPECT_EQ(encodeOk("12345", U"short", withLastLongId(255)).longId, 255);
    const SubmitMessage wrapped = encodeOk("12345", repeat(U"a", 161), withLastLongId(255));
    EXPECT_EQ(wrapped.longId, 1);
    EXPECT_EQ(wrapped.parts[0].pdu.substr(2 + 2 * kUdlIndex + 8, 2), "01");
    const SubmitMessage after =
        encodeOk("12345", repeat(U"a", 161), withLastLongId(wrapped.longId));
    EXPECT_EQ(after.longId, 2);
}

TEST(EncodeSubmit, PartLimit) {
    EXPECT_EQ(encodeOk("12345", repeat(U"a", 255 * 153)).parts.size(), 255u);
    EXPECT_EQ(encodeOk("12345", repeat(U"Д", 255 * 67)).parts.size(), 255u);

    const SubmitError gsm7 = encodeFails("12345", repeat(U"a", 255 * 153 + 1));
    EXPECT_EQ(gsm7.code, SubmitErrorCode::TooManyParts);
    EXPECT_EQ(gsm7.offset, 255u * 153u);
    const SubmitError ucs2 = encodeFails("12345", repeat(U"Д", 255 * 67 + 1));
    EXPECT_EQ(ucs2.code, SubmitErrorCode::TooManyParts);
    EXPECT_EQ(ucs2.offset, 255u * 67u);
}

TEST(EncodeSubmit, CodingChoice) {
    EXPECT_EQ(chooseCoding(U""), SubmitCoding::Gsm7);
    EXPECT_EQ(chooseCoding(U"@£$¥èéùìòÇØøÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ¤¡ÄÖÑÜ§¿äöñüà"), SubmitCoding::Gsm7);
    EXPECT_EQ(chooseCoding(U"^{}\\[~]|€\f"), SubmitCoding::Gsm7);
    EXPECT_EQ(chooseCoding(U"abc ё"), SubmitCoding::Ucs2);
    EXPECT_EQ(chooseCoding(U"«quoted»"), SubmitCoding::Ucs2);
    EXPECT_EQ(chooseCoding(U"ç"), SubmitCoding::Ucs2);  // the alphabet has only Ç at 09
}

TEST(PackSeptets, BitLayout) {
    const std::vector<std::uint8_t> abc{0x61, 0x62, 0x63};
    EXPECT_EQ(toHex(packSeptets(abc)), "61F118");
    const std::vector<std::uint8_t> one{0x7F};
    EXPECT_EQ(toHex(packSeptets(one, 1)), "FE");
    const std::vector<std::uint8_t> eight(8, 0x7F);
    EXPECT_EQ(toHex(packSeptets(eight)), "FFFFFFFFFFFFFF");
    EXPECT_EQ(toHex(packSeptets({})), "");
}

}  // namespace
}  // namespace telvane::codec
