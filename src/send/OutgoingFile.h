#pragma once
// The layout of an outgoing-message file: the number, the separator, the text. Pure: the file's
// bytes come in already turned into characters.

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace telvane::send {

/// Number and text of one outgoing-message file, spaces (only) trimmed from both.
struct OutgoingFields {
    std::u32string number;
    std::u32string text;
};

/// Why a file holds no number and text.
enum class OutgoingFileError {
    Unreadable,   ///< the file could not be opened or read
    NotOrdinary,  ///< a symbolic link (or anything but an ordinary file): never read
    TooLarge,     ///< larger than kMaxOutgoingFileBytes: no message is that long
    Empty,        ///< the file holds nothing
    NoSeparator,  ///< the separator does not occur in it (or the separator is empty)
};

/// Far beyond the longest message (255 parts of 153 characters), small enough to read whole.
inline constexpr std::size_t kMaxOutgoingFileBytes = 1024 * 1024;

using OutgoingFileResult = std::variant<OutgoingFields, OutgoingFileError>;

/// Splits at the first occurrence of `separator` (exact, case-sensitive, possibly longer than
/// one character): the number before it, the text after it with any later separators kept as
/// text. Only spaces are trimmed; TAB, CR and LF stay.
OutgoingFileResult splitOutgoingFile(std::u32string_view content, std::u32string_view separator);

/// Spaces removed from both ends, nothing else.
std::u32string_view trimSpaces(std::u32string_view text);

}  // namespace telvane::send
