#pragma once
// Latin transliteration of Russian Cyrillic for messages sent with ToLatin, so that a Russian
// text fits the GSM 7-bit default alphabet (160 characters per message instead of 70).

#include <string>
#include <string_view>

namespace telvane::codec {

/// Replaces each Russian Cyrillic letter (А..Я, а..я, Ё, ё) by its fixed Latin letter or
/// letter group: upper-case letters give upper-case groups (Щ gives "SCH"), lower-case letters
/// lower-case groups (щ gives "sch"), Ь and Ъ give an apostrophe. Every other character,
/// "№" and the letters of other Cyrillic languages included, is kept as it is.
std::u32string transliterate(std::u32string_view text);

}  // namespace telvane::codec
