#include "config/NumberText.h"

#include <charconv>
#include <limits>

namespace telvane::config {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

struct DecimalText {
    bool negative = false;
    std::string_view integerDigits;
    std::string_view fractionDigits;
    std::size_t length = 0;  // characters taken from the text
};

// Sign, digits, optional "." and digits, at least one digit in all; from the start of `text`.
std::optional<DecimalText> scanDecimal(std::string_view text) {
    DecimalText d;
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        d.negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t intBegin = pos;
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    d.integerDigits = text.substr(intBegin, pos - intBegin);
    if (pos < text.size() && text[pos] == '.') {
        const std::size_t fracBegin = pos + 1;
        std::size_t fracEnd = fracBegin;
        while (fracEnd < text.size() && isDigit(text[fracEnd])) ++fracEnd;
        // A lone "." after the digits belongs to the number only when digits surround it.
        if (fracEnd > fracBegin || !d.integerDigits.empty()) {
            d.fractionDigits = text.substr(fracBegin, fracEnd - fracBegin);
            pos = fracEnd;
        }
    }
    if (d.integerDigits.empty() && d.fractionDigits.empty()) return std::nullopt;
    d.length = pos;
    return d;
}

// Rounds half to even on the digits as written, so no binary fraction can tip a half.
IntegerResult toInteger(const DecimalText& d, std::int64_t min, std::int64_t max) {
    std::string_view digits = d.integerDigits;
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    // 19 digits always fit in 64 unsigned bits; anything longer is beyond every width we use.
    if (digits.size() > 19) return {0, NumberTextError::OutOfRange};
    std::uint64_t magnitude = 0;
    for (const char c : digits) magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');

    if (!d.fractionDigits.empty()) {
        const char first = d.fractionDigits.front();
        bool roundUp = first > '5';
        if (first == '5') {
            const bool moreThanHalf =
                d.fractionDigits.substr(1).find_first_not_of('0') != std::string_view::npos;
            roundUp = moreThanHalf || (magnitude % 2 == 1);
        }
        if (roundUp) ++magnitude;
    }

    if (d.negative) {
        const std::uint64_t limit = static_cast<std::uint64_t>(-(min + 1)) + 1;
        if (min > 0 || magnitude > limit) return {0, NumberTextError::OutOfRange};
        const std::int64_t value =
            magnitude == 0 ? 0 : -static_cast<std::int64_t>(magnitude - 1) - 1;
        if (value < min || value > max) return {0, NumberTextError::OutOfRange};
        return {value, std::nullopt};
    }
    if (max < 0 || magnitude > static_cast<std::uint64_t>(max)) {
        return {0, NumberTextError::OutOfRange};
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    if (value < min) return {0, NumberTextError::OutOfRange};
    return {value, std::nullopt};
}

}  // namespace

IntegerResult strictInteger(std::string_view text, std::int64_t min, std::int64_t max) {
    const std::optional<DecimalText> d = scanDecimal(text);
    if (!d || d->length != text.size()) return {0, NumberTextError::NotANumber};
    return toInteger(*d, min, max);
}

IntegerResult leadingInteger(std::string_view text, std::int64_t min, std::int64_t max) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    const std::optional<DecimalText> d = scanDecimal(text);
    if (!d) {
        if (min > 0 || max < 0) return {0, NumberTextError::OutOfRange};
        return {0, std::nullopt};
    }
    return toInteger(*d, min, max);
}

std::optional<double> strictNumber(std::string_view text) {
    const std::optional<DecimalText> d = scanDecimal(text);
    if (!d) return std::nullopt;
    std::size_t end = d->length;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t pos = end + 1;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
        const std::size_t digitsBegin = pos;
        while (pos < text.size() && isDigit(text[pos])) ++pos;
        if (pos == digitsBegin) return std::nullopt;
        end = pos;
    }
    if (end != text.size()) return std::nullopt;

    // from_chars takes no leading "+".
    std::string_view body = text;
    if (!body.empty() && body.front() == '+') body.remove_prefix(1);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (ec != std::errc() || ptr != body.data() + body.size()) return std::nullopt;
    if (!(value <= std::numeric_limits<double>::max() &&
          value >= -std::numeric_limits<double>::max())) {
        return std::nullopt;
    }
    return value;
}

}  // namespace telvane::config
