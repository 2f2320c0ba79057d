// SMS-SUBMIT encoding: worked examples, address fields, part boundaries, header fields,
// transliteration, and every PDU decoded back by our own decoder.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "codec/Alphabets.h"
#include "codec/PduDecoder.h"
#include "codec/Submit.h"
#include "codec/SubmitFields.h"
#include "codec/Translit.h"

namespace telvane::codec {
namespace {

SubmitOptions options(std::string smsc, bool report = false, int lastLongId = 1,
                      bool toLatin = false) {
    SubmitOptions o;
    o.smsc = std::move(smsc);
    o.report = report;
    o.lastLongId = lastLongId;
    o.toLatin = toLatin;
    return o;
}

SubmitMessage encodeOk(std::u32string_view text, const SubmitOptions& o = {}) {
    SubmitResult result = encodeSubmit("12345", text, o);
    if (auto* error = std::get_if<SubmitError>(&result)) {
        ADD_FAILURE() << "unexpected error: " << describe(*error);
        return {};
    }
    return std::get<SubmitMessage>(std::move(result));
}

// With the destination 12345 and SMSC part 00: FO MR DA(5 octets) PID DCS VP, then TP-UDL.
constexpr std::size_t kUdlIndex = 10;

// Octet `index` of the TPDU of each part.
std::vector<std::size_t> tpduOctets(const SubmitMessage& message, std::size_t index) {
    std::vector<std::size_t> result;
    for (const SubmitPart& part : message.parts)
        result.push_back(std::stoul(part.pdu.substr(2 + 2 * index, 2), nullptr, 16));
    return result;
}

TEST(EncodeSubmit, WorkedExamples) {
    const std::pair<std::u32string, std::string> rows[] = {
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
        // The alphabet has only the capital Ç (at 09): ç needs UCS2.
        {U"ç", "00110005912143F50008AA0200E7"},
    };
    for (const auto& [text, pdu] : rows) {
        const SubmitMessage message = encodeOk(text);
        ASSERT_EQ(message.parts.size(), 1u);
        EXPECT_EQ(message.parts[0].pdu, pdu);
        EXPECT_EQ(message.parts[0].tpduLength, pdu.size() / 2 - 1);
    }
    const SubmitMessage viaCentre = encodeOk(U"abc", options("+79168999100"));
    EXPECT_EQ(viaCentre.parts[0].pdu, "07919761989901F0110005912143F50000AA0361F118");
    EXPECT_EQ(viaCentre.parts[0].tpduLength, 14u);
}

TEST(EncodeSubmit, AddressFields) {
    const struct {
        bool smsc;
        std::string number, field;
    } rows[] = {
        {false, "12345", "05912143F5"},
        {false, "+12345", "05912143F5"},
        {false, "  12345  ", "05912143F5"},
        {false, "79161234567", "0B919761214365F7"},
        {false, "89161234567", "0B919761214365F7"},           // domestic 8 sent as 7
        {false, "+89161234567", "0B919861214365F7"},          // written as international: kept
        {false, "1234567890123456", "10912143658709214365"},  // 16 digits: length as a full octet
        {false, "12345678901234567890", "149121436587092143658709"},
        {true, "", "00"},  // the phone uses its own centre
        {true, "   ", "00"},
        {true, "+79168999100", "07919761989901F0"},
        {true, "79168999100", "07919761989901F0"},
        {true, "12345", "04912143F5"},  // the SMSC length counts octets, TP-DA digits
        {true, "12345678901234567890", "0B9121436587092143658709"},
    };
    for (const auto& row : rows) {
        auto field = row.smsc ? encodeSmscField(row.number) : encodeDestinationField(row.number);
        ASSERT_TRUE(std::holds_alternative<Bytes>(field)) << row.number;
        EXPECT_EQ(toHex(std::get<Bytes>(field)), row.field) << row.number;
    }
}

TEST(EncodeSubmit, RefusesWhatCannotBeSent) {
    using C = SubmitErrorCode;
    using F = SubmitField;
    const std::u32string lone{U'a', static_cast<char32_t>(0xD800)};
    const std::u32string beyond{U'a', U'b', static_cast<char32_t>(0x110000)};
    const struct {
        std::string number;
        std::u32string text;
        std::string smsc;
        C code;
        F field;
        std::size_t offset;
    } rows[] = {
        {"", U"hi", "", C::EmptyNumber, F::Number, 0},
        {"   ", U"hi", "", C::EmptyNumber, F::Number, 0},
        {"+", U"hi", "", C::NumberNotDigits, F::Number, 0},
        {"12-45", U"hi", "", C::NumberNotDigits, F::Number, 2},
        {"++12", U"hi", "", C::NumberNotDigits, F::Number, 1},
        {"12 34", U"hi", "", C::NumberNotDigits, F::Number, 2},
        {"7916\t", U"hi", "", C::NumberNotDigits, F::Number, 4},
        {"123456789012345678901", U"hi", "", C::NumberTooLong, F::Number, 20},
        {"12345", U"hi", "+7(916)", C::SmscNotDigits, F::Smsc, 2},
        {"12345", U"hi", "123456789012345678901", C::SmscTooLong, F::Smsc, 20},
        {"12345", U"", "", C::EmptyText, F::Text, 0},
        {"12345", U"  \r\n  ", "", C::EmptyText, F::Text, 0},
        {"12345", lone, "", C::InvalidCharacter, F::Text, 1},
        {"12345", beyond, "", C::InvalidCharacter, F::Text, 2},
        // The part limit: 255 parts of 153 septets or 67 UCS2 units.
        {"12345", std::u32string(255 * 153 + 1, U'a'), "", C::TooManyParts, F::Text, 255 * 153},
        {"12345", std::u32string(255 * 67 + 1, U'Д'), "", C::TooManyParts, F::Text, 255 * 67},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number + " / " + row.smsc + " / " + std::to_string(row.text.size()));
        const SubmitResult result = encodeSubmit(row.number, row.text, options(row.smsc));
        ASSERT_TRUE(std::holds_alternative<SubmitError>(result));
        const SubmitError& error = std::get<SubmitError>(result);
        EXPECT_EQ(error.code, row.code);
        EXPECT_EQ(error.field, row.field);
        EXPECT_EQ(error.offset, row.offset);
        EXPECT_FALSE(describe(error).empty());
    }
    EXPECT_EQ(encodeOk(std::u32string(255 * 153, U'a')).parts.size(), 255u);
    EXPECT_EQ(encodeOk(std::u32string(255 * 67, U'Д')).parts.size(), 255u);
}

TEST(EncodeSubmit, TextIsPreparedBeforeEncoding) {
    EXPECT_EQ(encodeOk(U"  line one\r\nline two\n  ").text, U"line oneline two");
    // Only spaces are trimmed: a TAB at either end is part of the message.
    EXPECT_EQ(prepareText(U"\tx \t", false), U"\tx \t");
    EXPECT_EQ(prepareText(U" Щука ", true), U"SCHuka");
}

TEST(EncodeSubmit, PartBoundaries) {
    using S = std::u32string;
    const struct {
        const char* name;
        std::u32string text;
        std::vector<std::size_t> udls;  // TP-UDL of each part, header included
    } rows[] = {
        {"160 septets", S(160, U'a'), {160}},
        {"161 septets", S(161, U'a'), {160, 15}},
        {"306 septets", S(306, U'a'), {160, 160}},
        {"307 septets", S(307, U'a'), {160, 160, 8}},
        // 80 extension characters are 160 septets: still one message.
        {"160 septets of escapes", S(80, U'€'), {160}},
        // The escape pair would take septets 153 and 154: it opens part 2 instead.
        {"escape at septet 153", S(152, U'a') + U"€" + S(10, U'a'), {159, 19}},
        {"escape ending at septet 153", S(151, U'a') + U"€" + S(10, U'a'), {160, 17}},
        // UCS2: TP-UDL counts octets, the six header octets included.
        {"70 UCS2", S(70, U'Д'), {140}},
        {"71 UCS2", S(71, U'Д'), {140, 14}},
        {"134 UCS2", S(134, U'Д'), {140, 140}},
        {"135 UCS2", S(135, U'Д'), {140, 140, 8}},
        {"35 surrogate pairs", S(35, U'😀'), {140}},
        // The pair would take units 67 and 68: it opens part 2 instead.
        {"surrogate pair at unit 67", S(66, U'Д') + U"😀" + S(10, U'Д'), {138, 30}},
    };
    for (const auto& row : rows) {
        const SubmitMessage message = encodeOk(row.text);
        EXPECT_EQ(tpduOctets(message, kUdlIndex), row.udls) << row.name;
        for (const SubmitPart& part : message.parts) {
            EXPECT_EQ(part.count, row.udls.size()) << row.name;
            EXPECT_EQ(part.tpduLength, part.pdu.size() / 2 - 1) << row.name;
            EXPECT_LE(part.tpduLength, 11u + 140u) << row.name;
        }
    }
}

TEST(EncodeSubmit, ConcatenationHeaderAndFirstOctet) {
    const SubmitMessage message = encodeOk(std::u32string(307, U'a'), options("", false, 41));
    ASSERT_EQ(message.parts.size(), 3u);
    EXPECT_EQ(message.longId, 42);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(message.parts[k].number, k + 1);
        // TP-UDL, then 05 00 03 reference count sequence.
        EXPECT_EQ(message.parts[k].pdu.substr(2 + 2 * kUdlIndex + 2, 12),
                  "050003" + toHex({42, 3, static_cast<std::uint8_t>(k + 1)}));
    }
    // The first text septet starts on bit 49: one fill bit, then 'a' (1100001) shifted by one.
    EXPECT_EQ(message.parts[0].pdu.substr(2 + 2 * kUdlIndex + 14, 2), "C2");

    using V = std::vector<std::size_t>;
    EXPECT_EQ(tpduOctets(encodeOk(U"hi"), 0), V{0x11});
    EXPECT_EQ(tpduOctets(encodeOk(U"hi", options("", true)), 0), V{0x31});
    EXPECT_EQ(tpduOctets(message, 0), (V{0x51, 0x51, 0x51}));
    // One delivery report per message: only the last part asks.
    EXPECT_EQ(tpduOctets(encodeOk(std::u32string(307, U'a'), options("", true)), 0),
              (V{0x51, 0x51, 0x71}));
}

TEST(EncodeSubmit, LongIdAdvance) {
    const std::pair<int, int> rows[] = {{1, 2}, {41, 42}, {254, 255}, {255, 1},
                                        {0, 1}, {-3, 1},  {256, 1},   {70000, 1}};
    for (auto [last, next] : rows) EXPECT_EQ(nextLongId(last), next) << last;

    // A single message leaves the LongID alone; a long one takes the next reference.
    EXPECT_EQ(encodeOk(U"short", options("", false, 255)).longId, 255);
    const SubmitMessage wrapped = encodeOk(std::u32string(161, U'a'), options("", false, 255));
    EXPECT_EQ(wrapped.longId, 1);
    EXPECT_EQ(wrapped.parts[0].pdu.substr(2 + 2 * kUdlIndex + 8, 2), "01");
    EXPECT_EQ(encodeOk(std::u32string(161, U'a'), options("", false, wrapped.longId)).longId, 2);
}

TEST(Transliterate, FixedTableThenCodingAndLength) {
    const std::pair<std::u32string, std::u32string> rows[] = {
        {U"ЖЁЛТЫЙ", U"JELTYY"},
        {U"щука", U"schuka"},
        {U"Щука", U"SCHuka"},
        {U"объём", U"ob'em"},
        {U"АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧЬЫЪШЩЭЮЯ", U"ABVGDEEJZIYKLMNOPRSTUFHTSCH'Y'SHSCHEYUYA"},
        {U"абвгдеёжзийклмнопрстуфхцчьыъшщэюя", U"abvgdeejziyklmnoprstufhtsch'y'shscheyuya"},
        {U"Hello, world! 123", U"Hello, world! 123"},
        {U"№ 5", U"№ 5"},
        {U"Їжак і ґанок", U"Їjak і ґanok"},  // other Cyrillic letters stay
        {U"", U""},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(transliterate(in), out) << unicodeToUtf8(in);

    const SubmitOptions latin = options("", false, 1, true);
    const SubmitMessage privet = encodeOk(U"Привет, мир", latin);
    EXPECT_EQ(privet.text, U"Privet, mir");
    EXPECT_EQ(privet.parts[0].coding, SubmitCoding::Gsm7);
    // "№" is not transliterated and keeps the message in UCS2.
    EXPECT_EQ(encodeOk(U"Заказ №5", latin).parts[0].coding, SubmitCoding::Ucs2);
    // 80 letters Щ become 240 Latin letters: two parts instead of one.
    EXPECT_EQ(encodeOk(std::u32string(80, U'Щ'), latin).parts.size(), 2u);
}

// A second opinion next to the gammu check; it covers "~" in UCS2, which gammu mangles.
TEST(EncodeRoundTrip, DecodesToThePreparedText) {
    std::u32string allCp1251;
    for (unsigned byte = 0x20; byte <= 0xFF; ++byte)
        if (byte != 0x98) allCp1251.push_back(cp1251ToUnicode(static_cast<std::uint8_t>(byte)));
    const struct {
        const char* name;
        std::u32string text;
        bool toLatin = false;
    } rows[] = {
        {"extension table", U"\f^{}\\[~]|€"},
        {"tilde in UCS2", U"~ Тильда ~~"},
        {"all of Windows-1251", allCp1251},
        {"escape pairs across parts", std::u32string(200, U'€')},
        {"surrogate pairs across parts", std::u32string(100, U'😀')},
        {"transliterated", U"Съешь же ещё этих мягких французских булок", true},
        {"line breaks", U" a\r\nb\n "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SubmitResult result =
            encodeSubmit("89161234567", row.text, options("+79168999100", false, 1, row.toLatin));
        ASSERT_TRUE(std::holds_alternative<SubmitMessage>(result));
        const SubmitMessage& message = std::get<SubmitMessage>(result);
        std::u32string joined;
        for (const SubmitPart& part : message.parts) {
            const DecodeResult decoded = decodePduHex(part.pdu);
            ASSERT_TRUE(std::holds_alternative<DecodedPdu>(decoded))
                << describe(std::get<DecodeError>(decoded));
            const DecodedPdu& pdu = std::get<DecodedPdu>(decoded);
            EXPECT_EQ(pdu.kind, MessageKind::Submit);
            EXPECT_EQ(pdu.smsc, "+79168999100");
            EXPECT_EQ(pdu.number, U"+79161234567");
            EXPECT_EQ(pdu.coding, part.coding == SubmitCoding::Gsm7 ? Coding::Gsm7 : Coding::Ucs2);
            EXPECT_EQ(pdu.concat.has_value(), message.parts.size() > 1);
            if (pdu.concat) {
                EXPECT_EQ(pdu.concat->ref, message.longId);
                EXPECT_EQ(pdu.concat->total, part.count);
                EXPECT_EQ(pdu.concat->seq, part.number);
            }
            joined += pdu.text;
        }
        EXPECT_EQ(joined, message.text);
    }
}

}  // namespace
}  // namespace telvane::codec
