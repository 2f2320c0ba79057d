#pragma once
// Small helpers for reading AT command arguments, shared by the command files.

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane::simulator {

// TS 27.005 3.2.5 / TS 27.007 9.2 error numbers the modem uses.
constexpr int kCmeOperationNotAllowed = 3;
constexpr int kCmeSimNotInserted = 10;
constexpr int kCmeSimPinRequired = 11;
constexpr int kCmeSimPukRequired = 12;
constexpr int kCmeSimFailure = 13;
constexpr int kCmeSimBusy = 14;
constexpr int kCmeIncorrectPassword = 16;
constexpr int kCmeIncorrectParameters = 50;
constexpr int kCmsOperationNotAllowed = 302;
constexpr int kCmsOperationNotSupported = 303;
constexpr int kCmsInvalidPduParameter = 304;
constexpr int kCmsSimNotInserted = 310;
constexpr int kCmsMemoryFailure = 320;
constexpr int kCmsInvalidIndex = 321;
constexpr int kCmsMemoryFull = 322;
constexpr int kCmsNoNetworkService = 331;
constexpr int kCmsNoAckExpected = 340;
constexpr int kCmsUnknownError = 500;

// ",<lac>,<ci>" of the cell a registered modem is in, as AT+CREG with <n>=2 reports it.
constexpr const char* kCellLocation = ",\"1A2B\",\"00C3\"";

inline std::optional<long> parseNumber(std::string_view text) {
    long value = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

/// Splits at commas outside quotes; "" gives one empty argument.
inline std::vector<std::string> splitArgs(std::string_view args) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (const char c : args) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            out.emplace_back();
        } else {
            out.back().push_back(c);
        }
    }
    return out;
}

inline std::string unquote(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

}  // namespace telvane::simulator
