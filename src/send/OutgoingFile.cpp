#include "send/OutgoingFile.h"

namespace telvane::send {

std::u32string_view trimSpaces(std::u32string_view text) {
    const auto first = text.find_first_not_of(U' ');
    if (first == std::u32string_view::npos) return {};
    const auto last = text.find_last_not_of(U' ');
    return text.substr(first, last - first + 1);
}

OutgoingFileResult splitOutgoingFile(std::u32string_view content, std::u32string_view separator) {
    if (content.empty()) return OutgoingFileError::Empty;
    // An empty separator would match everywhere; a file cannot be split by it.
    if (separator.empty()) return OutgoingFileError::NoSeparator;
    const auto at = content.find(separator);
    if (at == std::u32string_view::npos) return OutgoingFileError::NoSeparator;
    return OutgoingFields{std::u32string(trimSpaces(content.substr(0, at))),
                          std::u32string(trimSpaces(content.substr(at + separator.size())))};
}

}  // namespace telvane::send
