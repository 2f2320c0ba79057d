#include "codec/Translit.h"

#include <array>
#include <utility>

namespace telvane::codec {

namespace {

using Entry = std::pair<char32_t, std::u32string_view>;

// The gateway's fixed table. Each result is Latin letters or an apostrophe, which no entry
// matches, so a single pass per character gives the same text as replacing the entries one
// after the other.
constexpr std::array<Entry, 33> kUpper{{
    {U'А', U"A"},  {U'Б', U"B"},  {U'В', U"V"},  {U'Г', U"G"}, {U'Д', U"D"},  {U'Е', U"E"},
    {U'Ё', U"E"},  {U'Ж', U"J"},  {U'З', U"Z"},  {U'И', U"I"}, {U'Й', U"Y"},  {U'К', U"K"},
    {U'Л', U"L"},  {U'М', U"M"},  {U'Н', U"N"},  {U'О', U"O"}, {U'П', U"P"},  {U'Р', U"R"},
    {U'С', U"S"},  {U'Т', U"T"},  {U'У', U"U"},  {U'Ф', U"F"}, {U'Х', U"H"},  {U'Ц', U"TS"},
    {U'Ч', U"CH"}, {U'Ь', U"'"},  {U'Ы', U"Y"},  {U'Ъ', U"'"}, {U'Ш', U"SH"}, {U'Щ', U"SCH"},
    {U'Э', U"E"},  {U'Ю', U"YU"}, {U'Я', U"YA"},
}};

constexpr std::array<Entry, 33> kLower{{
    {U'а', U"a"},  {U'б', U"b"},  {U'в', U"v"},  {U'г', U"g"}, {U'д', U"d"},  {U'е', U"e"},
    {U'ё', U"e"},  {U'ж', U"j"},  {U'з', U"z"},  {U'и', U"i"}, {U'й', U"y"},  {U'к', U"k"},
    {U'л', U"l"},  {U'м', U"m"},  {U'н', U"n"},  {U'о', U"o"}, {U'п', U"p"},  {U'р', U"r"},
    {U'с', U"s"},  {U'т', U"t"},  {U'у', U"u"},  {U'ф', U"f"}, {U'х', U"h"},  {U'ц', U"ts"},
    {U'ч', U"ch"}, {U'ь', U"'"},  {U'ы', U"y"},  {U'ъ', U"'"}, {U'ш', U"sh"}, {U'щ', U"sch"},
    {U'э', U"e"},  {U'ю', U"yu"}, {U'я', U"ya"},
}};

const std::u32string_view* findLatin(const std::array<Entry, 33>& table, char32_t c) {
    for (const Entry& entry : table) {
        if (entry.first == c) return &entry.second;
    }
    return nullptr;
}

const std::u32string_view* latinFor(char32_t c) {
    if (const std::u32string_view* latin = findLatin(kUpper, c)) return latin;
    return findLatin(kLower, c);
}

}  // namespace

std::u32string transliterate(std::u32string_view text) {
    std::u32string result;
    result.reserve(text.size());
    for (char32_t c : text) {
        if (const std::u32string_view* latin = latinFor(c)) {
            result.append(*latin);
        } else {
            result.push_back(c);
        }
    }
    return result;
}

}  // namespace telvane::codec
