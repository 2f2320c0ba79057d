#pragma once
// The private-profile INI format as pure functions over the bytes of a file, so that reading and
// rewriting can be checked without touching a disk. Section and key names are compared without
// regard to letter case after decoding them from Windows-1251.
//
// Rewriting touches only the one line that changes (or inserts one line, or appends one
// section): every other byte of the file, comments and odd spacing included, stays as it was.
// General-purpose INI libraries re-serialise the whole file and lose that, which matters for a
// file that people edit by hand.

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane::config::ini {

/// Longest value a read returns, in bytes (characters of Windows-1251).
inline constexpr std::size_t kMaxValueLength = 254;

/// Line ending used when the text has none of its own yet (a new file).
inline constexpr std::string_view kDefaultLineEnding = "\r\n";

/// The stored value of `key` in `section`: blanks around it and one pair of matching quotes
/// ('...' or "...") removed, then cut to kMaxValueLength bytes. Absent when no section of
/// that name holds the key. The first match in file order wins.
std::optional<std::string> findValue(std::string_view content, const QString& section,
                                     const QString& key);

/// The names of the sections, in file order, each once (the first spelling wins).
std::vector<QString> sectionNames(std::string_view content);

/// True when `section` can be written as a section line: not blank, no "]", no line break.
bool isWritableSectionName(const QString& section);

/// True when `key` can be written as a key line: not blank, no "=", no line break, and not
/// starting with ";" or "[" (which would make the line a comment or a section).
bool isWritableKeyName(const QString& key);

/// `content` with `key` of `section` set to `value` (bytes of one line, no CR or LF):
/// - an existing key keeps its line and everything in it before the old value;
/// - a new key is inserted after the last key line of the first section of that name;
/// - a new section is appended at the end of the text, after a blank line.
/// Names must satisfy isWritableSectionName and isWritableKeyName.
std::string withValue(std::string_view content, const QString& section, const QString& key,
                      std::string_view value);

}  // namespace telvane::config::ini
