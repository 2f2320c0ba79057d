#include "config/IniText.h"

#include <algorithm>
#include <vector>

#include "codec/Alphabets.h"

namespace telvane::config::ini {
namespace {

// The blanks that the private-profile reader skips around names and values.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

QString decode(std::string_view bytes) {
    return QString::fromStdU32String(codec::cp1251ToUnicode(bytes));
}

std::string encode(const QString& text) {
    return codec::unicodeToCp1251Lossy(text.toStdU32String());
}

bool sameName(std::string_view stored, const QString& wanted) {
    return decode(stored).compare(wanted.trimmed(), Qt::CaseInsensitive) == 0;
}

struct Line {
    std::size_t begin = 0;    // offset of the first byte in the content
    std::string_view text;    // without the line ending
    std::string_view ending;  // "\r\n", "\n" or empty for an unterminated last line
};

std::vector<Line> splitLines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t lf = content.find('\n', pos);
        Line line;
        line.begin = pos;
        if (lf == std::string_view::npos) {
            line.text = content.substr(pos);
            pos = content.size();
        } else {
            std::size_t textEnd = lf;
            if (textEnd > pos && content[textEnd - 1] == '\r') --textEnd;
            line.text = content.substr(pos, textEnd - pos);
            line.ending = content.substr(textEnd, lf + 1 - textEnd);
            pos = lf + 1;
        }
        lines.push_back(line);
    }
    return lines;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::size_t valueBegin = 0;  // offsets inside the line text
    std::size_t valueEnd = 0;
};

ParsedLine parseLine(std::string_view text) {
    ParsedLine parsed;
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start])) ++start;
    if (start == text.size() || text[start] == ';') return parsed;
    if (text[start] == '[') {
        const std::size_t close = text.rfind(']');
        if (close == std::string_view::npos || close < start) return parsed;
        parsed.kind = LineKind::Section;
        parsed.name = trimmed(text.substr(start + 1, close - start - 1));
        return parsed;
    }
    const std::size_t eq = text.find('=', start);
    if (eq == std::string_view::npos) return parsed;
    parsed.kind = LineKind::Key;
    parsed.name = trimmed(text.substr(start, eq - start));
    std::size_t vb = eq + 1;
    while (vb < text.size() && isBlank(text[vb])) ++vb;
    std::size_t ve = text.size();
    while (ve > vb && isBlank(text[ve - 1])) --ve;
    parsed.valueBegin = vb;
    parsed.valueEnd = ve;
    return parsed;
}

std::string_view firstLineEnding(const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (!line.ending.empty()) return line.ending;
    }
    return kDefaultLineEnding;
}

}  // namespace

std::optional<std::string> findValue(std::string_view content, const QString& section,
                                     const QString& key) {
    bool inSection = false;
    for (const Line& line : splitLines(content)) {
        const ParsedLine parsed = parseLine(line.text);
        if (parsed.kind == LineKind::Section) {
            inSection = sameName(parsed.name, section);
        } else if (parsed.kind == LineKind::Key && inSection && sameName(parsed.name, key)) {
            std::string_view value =
                line.text.substr(parsed.valueBegin, parsed.valueEnd - parsed.valueBegin);
            // A value may be quoted to keep blanks at its ends, as the platform reader allows.
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return std::string(value.substr(0, kMaxValueLength));
        }
    }
    return std::nullopt;
}

std::vector<QString> sectionNames(std::string_view content) {
    std::vector<QString> names;
    for (const Line& line : splitLines(content)) {
        const ParsedLine parsed = parseLine(line.text);
        if (parsed.kind != LineKind::Section) continue;
        const QString name = decode(parsed.name);
        if (std::none_of(names.begin(), names.end(), [&](const QString& known) {
                return known.compare(name, Qt::CaseInsensitive) == 0;
            }))
            names.push_back(name);
    }
    return names;
}

bool isWritableSectionName(const QString& section) {
    const QString name = section.trimmed();
    return !name.isEmpty() && !name.contains(u']') && !name.contains(u'\r') &&
           !name.contains(u'\n');
}

bool isWritableKeyName(const QString& key) {
    const QString name = key.trimmed();
    return !name.isEmpty() && !name.contains(u'=') && !name.contains(u'\r') &&
           !name.contains(u'\n') && !name.startsWith(u';') && !name.startsWith(u'[');
}

std::string withValue(std::string_view content, const QString& section, const QString& key,
                      std::string_view value) {
    const std::vector<Line> lines = splitLines(content);

    bool inSection = false;
    bool inFirstSection = false;
    bool seenSection = false;
    std::optional<std::size_t> insertAfter;  // last key line (or header) of the first section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const ParsedLine parsed = parseLine(line.text);
        if (parsed.kind == LineKind::Section) {
            inSection = sameName(parsed.name, section);
            inFirstSection = inSection && !seenSection;
            if (inFirstSection) {
                seenSection = true;
                insertAfter = i;
            }
        } else if (parsed.kind == LineKind::Key && inSection) {
            if (sameName(parsed.name, key)) {
                // Keep the key as spelled and spaced in the file; replace only the old value.
                std::string out(content.substr(0, line.begin + parsed.valueBegin));
                out += value;
                out += content.substr(line.begin + line.text.size());
                return out;
            }
            if (inFirstSection) insertAfter = i;
        }
    }

    const std::string_view eol = firstLineEnding(lines);
    const std::string keyLine = encode(key.trimmed()) + '=' + std::string(value);

    if (insertAfter) {
        const Line& after = lines[*insertAfter];
        const std::size_t cut = after.begin + after.text.size() + after.ending.size();
        std::string out(content.substr(0, cut));
        if (after.ending.empty()) out += eol;
        out += keyLine;
        out += after.ending.empty() ? eol : after.ending;
        out += content.substr(cut);
        return out;
    }

    std::string out(content);
    if (!lines.empty()) {
        if (lines.back().ending.empty()) out += eol;
        if (!trimmed(lines.back().text).empty()) out += eol;
    }
    out += '[';
    out += encode(section.trimmed());
    out += ']';
    out += eol;
    out += keyLine;
    out += eol;
    return out;
}

}  // namespace telvane::config::ini
