#pragma once
// Character sets the gateway converts between: the GSM 7-bit default alphabet with its
// extension table (3GPP TS 23.038 clause 6.2.1), Windows-1251 (the code page of every text
// file the gateway reads or writes), and UTF-8 (command lines, standard output, JSON).
//
// Text inside the codec is Unicode code points (std::u32string); bytes are std::string.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace telvane::codec {

/// The escape septet that announces a character of the extension table.
inline constexpr std::uint8_t kGsm7Escape = 0x1B;

/// The character at a position of the default alphabet (0..127). The escape position 0x1B has
/// no character of its own: it returns U+00A0 (the NBSP that TS 23.038 shows for a lone escape).
char32_t gsm7DefaultChar(std::uint8_t septet);

/// The character that an escape followed by `septet` stands for, if the extension table has one.
std::optional<char32_t> gsm7ExtensionChar(std::uint8_t septet);

/// The position of `c` in the default alphabet, if it has one.
std::optional<std::uint8_t> gsm7DefaultCode(char32_t c);

/// The position of `c` in the extension table (sent after an escape), if it has one.
std::optional<std::uint8_t> gsm7ExtensionCode(char32_t c);

/// True when every character of `text` is in the default alphabet or its extension table.
bool fitsGsm7(std::u32string_view text);

/// Septets that `text` takes in 7-bit coding: one per default character, two per extension
/// character. Only meaningful when fitsGsm7(text).
std::size_t gsm7SeptetCount(std::u32string_view text);

/// Windows-1251: every byte has a character (0x98 is unassigned and maps to U+FFFD).
char32_t cp1251ToUnicode(std::uint8_t byte);
std::u32string cp1251ToUnicode(std::string_view bytes);

/// The Windows-1251 byte of `c`, if the code page holds it.
std::optional<std::uint8_t> unicodeToCp1251(char32_t c);

/// The policy for characters that the text files cannot hold, written down once: each such
/// character becomes one "?" (a surrogate pair from UTF-16 is one character, so one "?").
inline constexpr char kCp1251Replacement = '?';
std::string unicodeToCp1251Lossy(std::u32string_view text);

/// UTF-8 conversions. Malformed UTF-8 input yields U+FFFD per bad sequence.
std::u32string utf8ToUnicode(std::string_view utf8);
std::string unicodeToUtf8(std::u32string_view text);

/// The character set of the text files users write and read ([SMS] Encoding).
enum class TextEncoding { Cp1251, Utf8 };

/// A user's file as characters, and the set it was read in.
struct UserText {
    std::u32string text;
    TextEncoding readAs = TextEncoding::Cp1251;
};

/// Reads a file that a user or another program wrote. A UTF-8 byte order mark means UTF-8
/// (the mark is dropped). Otherwise, with `configured` UTF-8, bytes that are not valid UTF-8
/// are read as Windows-1251; with Windows-1251, valid UTF-8 that holds Cyrillic is read as
/// UTF-8 unless its bytes also make plausible Windows-1251 text. UTF-8 Cyrillic letters read
/// as Windows-1251 come out as "Р" or "С" followed by a sign Russian text does not use
/// ("РџСЂРёРІРµС‚"); plausible means that every byte 0x80-0xBF is one of the signs Russian text
/// does use (quotes, dashes, "…", "№", "Ё", "ё", the no-break space).
UserText readUserText(std::string_view bytes, TextEncoding configured);

/// Text as a file of that set holds it: UTF-8 keeps every character, Windows-1251 follows
/// unicodeToCp1251Lossy.
std::string encodeText(std::u32string_view text, TextEncoding encoding);

}  // namespace telvane::codec
