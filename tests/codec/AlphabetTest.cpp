#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "codec/Alphabets.h"

namespace telvane::codec {
namespace {

// Every position of the default alphabet with the character 3GPP TS 23.038 gives it, written
// out independently of the table under test (escape position 0x1B left out).
TEST(Gsm7Alphabet, DefaultTableMatchesTheStandardRowByRow) {
    const std::u32string expected =
        U"@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\u00A0ÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
        U"¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà";
    ASSERT_EQ(expected.size(), 128u);
    std::set<char32_t> seen;
    for (std::uint8_t septet = 0; septet < 128; ++septet) {
        EXPECT_EQ(gsm7DefaultChar(septet), expected[septet]) << "septet " << int(septet);
        if (septet == kGsm7Escape) {
            EXPECT_FALSE(gsm7DefaultCode(expected[septet]));
            continue;
        }
        EXPECT_TRUE(seen.insert(expected[septet]).second) << "duplicate at " << int(septet);
        EXPECT_EQ(gsm7DefaultCode(expected[septet]), septet);
    }
}

TEST(Gsm7Alphabet, ExtensionTableBothWays) {
    const struct {
        std::uint8_t septet;
        char32_t c;
    } rows[] = {{0x0A, U'\f'}, {0x14, U'^'}, {0x28, U'{'}, {0x29, U'}'}, {0x2F, U'\\'},
                {0x3C, U'['},  {0x3D, U'~'}, {0x3E, U']'}, {0x40, U'|'}, {0x65, U'€'}};
    std::size_t found = 0;
    for (std::uint8_t septet = 0; septet < 128; ++septet)
        found += gsm7ExtensionChar(septet) ? 1 : 0;
    EXPECT_EQ(found, std::size(rows));
    for (const auto& row : rows) {
        EXPECT_EQ(gsm7ExtensionChar(row.septet), row.c);
        EXPECT_EQ(gsm7ExtensionCode(row.c), row.septet);
        EXPECT_FALSE(gsm7DefaultCode(row.c)) << "extension char also in default table";
    }
}

TEST(Gsm7Alphabet, FitAndSeptetCount) {
    EXPECT_TRUE(fitsGsm7(U"Hello @ΩΣ {€}"));
    EXPECT_EQ(gsm7SeptetCount(U"Hello @ΩΣ {€}"), 13u + 3u);
    EXPECT_FALSE(fitsGsm7(U"Привет"));
    EXPECT_FALSE(fitsGsm7(U"`"));       // grave accent has no GSM position
    EXPECT_FALSE(fitsGsm7(U"\u00A0"));  // the escape position is not a character
    EXPECT_TRUE(fitsGsm7(U""));
}

// The Windows-1251 table against glibc's converter (the data file records its output).
TEST(Cp1251, EveryByteAgreesWithIconv) {
    std::ifstream in(TELVANE_TEST_DATA "/pdu/cp1251-iconv.txt");
    ASSERT_TRUE(in) << "missing cp1251-iconv.txt";
    std::string line;
    std::size_t rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string byteHex, code;
        fields >> byteHex >> code;
        const auto byte = static_cast<std::uint8_t>(std::stoul(byteHex, nullptr, 16));
        ++rows;
        if (code == "none") {
            EXPECT_EQ(cp1251ToUnicode(byte), U'\uFFFD');
            continue;
        }
        const auto c = static_cast<char32_t>(std::stoul(code.substr(2), nullptr, 16));
        EXPECT_EQ(cp1251ToUnicode(byte), c) << "byte " << byteHex;
        EXPECT_EQ(unicodeToCp1251(c), byte) << "byte " << byteHex;
    }
    EXPECT_EQ(rows, 256u);
}

TEST(Cp1251, LossyConversionGivesOneQuestionMarkPerCharacter) {
    const struct {
        std::u32string text;
        std::string bytes;
    } rows[] = {
        {U"Ёё№€«»—–“”„", "\xA8\xB8\xB9\x88\xAB\xBB\x97\x96\x93\x94\x84"},
        {U"Привет, мир!", "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!"},
        {U"a😀b", "a?b"},  // one emoji (a surrogate pair in UTF-16) -> one "?"
        {U"中文", "??"},
        {U"é\uFFFD", "??"},  // é is not in Windows-1251; U+FFFD never maps to 0x98
        {U"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(unicodeToCp1251Lossy(row.text), row.bytes);
    }
    EXPECT_EQ(cp1251ToUnicode(std::string_view("\xC0\xFF\xA8")), U"АяЁ");
}

TEST(Utf8, RoundTripAndMalformedInput) {
    const std::u32string text = U"Aé€😀Ж";
    EXPECT_EQ(unicodeToUtf8(text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xD0\x96");
    EXPECT_EQ(utf8ToUnicode(unicodeToUtf8(text)), text);
    const struct {
        std::string bytes;
        std::u32string text;
    } bad[] = {
        {"\x80", U"\uFFFD"},              // stray continuation
        {"a\xC3", U"a\uFFFD"},            // truncated at the end
        {"\xC0\xAF", U"\uFFFD"},          // overlong "/"
        {"\xED\xA0\x80", U"\uFFFD"},      // UTF-16 surrogate
        {"\xF4\x90\x80\x80", U"\uFFFD"},  // beyond U+10FFFF
        {"\xE2\x82x", U"\uFFFDx"},        // truncated in the middle
    };
    for (const auto& row : bad) EXPECT_EQ(utf8ToUnicode(row.bytes), row.text);
    EXPECT_EQ(unicodeToUtf8(std::u32string(1, char32_t{0xD83D})), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace telvane::codec
