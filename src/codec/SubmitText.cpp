#include "codec/Alphabets.h"
#include "codec/Submit.h"
#include "codec/Translit.h"

namespace telvane::codec {

namespace {

// Septets of one character in 7-bit coding: an extension character is the escape plus its code.
std::size_t septetsOf(char32_t c) { return gsm7DefaultCode(c) ? 1 : 2; }

// UTF-16 code units of one character: a character beyond the BMP is a surrogate pair.
std::size_t unitsOf(char32_t c) { return c > 0xFFFF ? 2 : 1; }

}  // namespace

std::u32string prepareText(std::u32string_view text, bool toLatin) {
    std::u32string kept;
    kept.reserve(text.size());
    for (char32_t c : text) {
        if (c != U'\n' && c != U'\r') kept.push_back(c);
    }
    // Only spaces are trimmed: a TAB at either end is part of the message.
    const std::size_t begin = kept.find_first_not_of(U' ');
    if (begin == std::u32string::npos) return {};
    const std::size_t end = kept.find_last_not_of(U' ') + 1;
    kept = kept.substr(begin, end - begin);
    return toLatin ? transliterate(kept) : kept;
}

SubmitCoding chooseCoding(std::u32string_view text) {
    return fitsGsm7(text) ? SubmitCoding::Gsm7 : SubmitCoding::Ucs2;
}

std::vector<std::u32string_view> splitIntoParts(std::u32string_view text, SubmitCoding coding) {
    const bool gsm7 = coding == SubmitCoding::Gsm7;
    const auto sizeOf = [gsm7](char32_t c) { return gsm7 ? septetsOf(c) : unitsOf(c); };
    const std::size_t singleLimit = gsm7 ? kGsm7SingleSeptets : kUcs2SingleUnits;
    const std::size_t partLimit = gsm7 ? kGsm7PartSeptets : kUcs2PartUnits;

    std::size_t total = 0;
    for (char32_t c : text) total += sizeOf(c);
    if (total <= singleLimit) return {text};

    // Whole characters only, so an escape pair or a surrogate pair that would cross the limit
    // starts the next part and the part stays one unit short.
    std::vector<std::u32string_view> parts;
    std::size_t begin = 0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t size = sizeOf(text[i]);
        if (used + size > partLimit) {
            parts.push_back(text.substr(begin, i - begin));
            begin = i;
            used = 0;
        }
        used += size;
    }
    parts.push_back(text.substr(begin));
    return parts;
}

}  // namespace telvane::codec
