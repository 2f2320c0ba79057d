#pragma once
// Conversions of settings text to numbers. Pure functions; they never look at the locale, so a
// "." is the decimal point everywhere.

#include <cstdint>
#include <optional>
#include <string_view>

namespace telvane::config {

/// Why a text did not give a number of the wanted width.
enum class NumberTextError {
    NotANumber,  ///< the text is not a decimal number as a whole
    OutOfRange,  ///< the number does not fit the wanted width
};

/// An integer, or the reason there is none.
struct IntegerResult {
    std::int64_t value = 0;
    std::optional<NumberTextError> error;
    bool ok() const { return !error.has_value(); }
};

/// The whole `text` as a decimal number: an optional sign, digits, an optional "." with
/// digits (at least one digit in all), nothing else (no blanks, no exponent). The number is
/// rounded to the nearest integer, a half to the even neighbour ("10.5" gives 10, "11.5" 12),
/// exactly as written, however many digits it has, and must lie within [min, max].
IntegerResult strictInteger(std::string_view text, std::int64_t min, std::int64_t max);

/// The decimal number at the start of `text` after leading blanks (space, TAB), in the grammar
/// of strictInteger, rounded the same way; the rest of the text is ignored. 0 when the text
/// does not start with a number. OutOfRange when the number does not fit [min, max].
IntegerResult leadingInteger(std::string_view text, std::int64_t min, std::int64_t max);

/// The whole `text` as a finite floating-point number: the grammar of strictInteger with an
/// optional exponent ("e" or "E", optional sign, digits).
std::optional<double> strictNumber(std::string_view text);

}  // namespace telvane::config
