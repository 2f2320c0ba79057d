// Latin transliteration of Russian text for ToLatin.
#include <gtest/gtest.h>

#include <variant>

#include "codec/Alphabets.h"
#include "codec/Submit.h"
#include "codec/Translit.h"

namespace telvane::codec {
namespace {

TEST(Transliterate, FixedTable) {
    struct Row {
        std::u32string in;
        std::u32string out;
    };
    const Row rows[] = {
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
    for (const Row& row : rows) {
        EXPECT_EQ(transliterate(row.in), row.out) << unicodeToUtf8(row.in);
    }
}

TEST(Transliterate, DecidesCodingAndLength) {
    const auto encode = [](std::u32string_view text) {
        SubmitOptions options;
        options.toLatin = true;
        return std::get<SubmitMessage>(encodeSubmit("12345", text, options));
    };
    const SubmitMessage latin = encode(U"Привет, мир");
    EXPECT_EQ(latin.text, U"Privet, mir");
    EXPECT_EQ(latin.parts[0].coding, SubmitCoding::Gsm7);
    // "№" is not transliterated and keeps the message in UCS2.
    EXPECT_EQ(encode(U"Заказ №5").parts[0].coding, SubmitCoding::Ucs2);
    // 80 letters Щ become 240 Latin letters: two parts instead of one.
    EXPECT_EQ(encode(std::u32string(80, U'Щ')).parts.size(), 2u);
}

}  // namespace
}  // namespace telvane::codec
