#include "receive/ListAnswer.h"

namespace telvane::receive {

namespace {

constexpr std::size_t kMaxProblemText = 200;
// Shorter hexadecimal lines are ordinary result text ("0", a "+CMS ERROR" number...).
constexpr std::size_t kStrayPduMinimum = 26;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string_view trimmed(std::string_view line) {
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    return line;
}

struct Line {
    std::string_view text;
    std::size_t number;
};

std::vector<Line> splitLines(std::string_view answer) {
    std::vector<Line> lines;
    std::size_t number = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= answer.size(); ++i) {
        if (i < answer.size() && answer[i] != '\r' && answer[i] != '\n') continue;
        std::string_view text = trimmed(answer.substr(start, i - start));
        // Some phones run a PDU straight into the next header (gammu's list parser notes it):
        // the header starts a line of its own.
        for (std::size_t joined; (joined = text.find("+CMGL:", 1)) != std::string_view::npos;) {
            if (const std::string_view before = trimmed(text.substr(0, joined)); !before.empty())
                lines.push_back({before, number});
            text = text.substr(joined);
        }
        if (!text.empty()) lines.push_back({text, number});
        // CR LF ends one line, and so does CR CR LF (the echo of a command ended by CR).
        if (i < answer.size() && answer[i] == '\r') {
            size_t next = i + 1;
            while (next < answer.size() && answer[next] == '\r') ++next;
            if (next < answer.size() && answer[next] == '\n') i = next;
        }
        ++number;
        start = i + 1;
    }
    return lines;
}

bool isHeader(std::string_view line) { return line.starts_with("+CMGL:"); }

// A line the phone says unasked, wherever it is ("^RSSI:13", "+CMTI: \"SM\",1", "RING"): never
// a PDU line.
bool isUnsolicited(std::string_view line) {
    return line.starts_with('^') || (line.starts_with('+') && !isHeader(line)) || line == "RING";
}

bool isFinalResult(std::string_view line) {
    return line == "OK" || line == "ERROR" || line.starts_with("+CMS ERROR") ||
           line.starts_with("+CME ERROR");
}

// The PDU text without blanks, or nullopt when the line is not hexadecimal of even count.
std::optional<std::string> pduText(std::string_view line) {
    std::string hex;
    hex.reserve(line.size());
    for (const char c : line) {
        if (isBlank(c)) continue;
        if (!isHexDigit(c)) return std::nullopt;
        hex.push_back(c);
    }
    if (hex.empty() || hex.size() % 2 != 0) return std::nullopt;
    return hex;
}

struct IndexRead {
    std::optional<std::uint32_t> index;
    const char* reason = nullptr;
};

IndexRead headerIndex(std::string_view header) {
    std::string_view rest = header.substr(6);  // after "+CMGL:"
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    std::uint32_t value = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
        value = value * 10 + static_cast<std::uint32_t>(rest[digits] - '0');
        if (value > kMaxMemoryIndex) return {std::nullopt, "memory index out of range"};
        ++digits;
    }
    if (digits == 0) return {std::nullopt, "header line without a memory index"};
    rest.remove_prefix(digits);
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    if (rest.empty() || rest.front() != ',') {
        return {std::nullopt, "header line without a comma after the memory index"};
    }
    return {value, nullptr};
}

std::string cut(std::string_view text) { return std::string(text.substr(0, kMaxProblemText)); }

}  // namespace

ListAnswer parseListAnswer(std::string_view answer) {
    ListAnswer result;
    const std::vector<Line> lines = splitLines(answer);
    std::size_t i = 0;
    while (i < lines.size()) {
        const Line& line = lines[i];
        if (!isHeader(line.text)) {
            if (line.text.size() >= kStrayPduMinimum && pduText(line.text)) {
                result.problems.push_back(
                    {line.number, std::nullopt, "PDU line without a header line", cut(line.text)});
            }
            ++i;
            continue;
        }
        const IndexRead read = headerIndex(line.text);
        // Unsolicited lines between a header and its PDU line are passed over.
        std::size_t next = i + 1;
        while (next < lines.size() && isUnsolicited(lines[next].text) &&
               !isFinalResult(lines[next].text))
            ++next;
        const bool nextIsPduLine =
            next < lines.size() && !isHeader(lines[next].text) && !isFinalResult(lines[next].text);
        if (!read.index) {
            result.problems.push_back({line.number, std::nullopt, read.reason, cut(line.text)});
            i = nextIsPduLine ? next + 1 : next;
            continue;
        }
        if (!nextIsPduLine) {
            result.problems.push_back(
                {line.number, read.index, "header line without a PDU line", cut(line.text)});
            i = next;
            continue;
        }
        const Line& pduLine = lines[next];
        if (auto hex = pduText(pduLine.text)) {
            result.entries.push_back({*read.index, std::move(*hex), line.number});
        } else {
            result.problems.push_back({pduLine.number, read.index,
                                       "PDU line is not an even count of hexadecimal digits",
                                       cut(pduLine.text)});
        }
        i = next + 1;
    }
    return result;
}

}  // namespace telvane::receive
