// The number conversions of settings text, at the edges of their grammar and widths.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "config/NumberText.h"

namespace telvane::config {
namespace {

constexpr std::int64_t kMin16 = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t kMax16 = std::numeric_limits<std::int16_t>::max();
constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();

struct IntCase {
    const char* text;
    std::int64_t min;
    std::int64_t max;
    std::optional<NumberTextError> error;
    std::int64_t value;
};

constexpr auto kNaN = NumberTextError::NotANumber;
constexpr auto kRange = NumberTextError::OutOfRange;

const IntCase kStrict[] = {
    {"10", kMin16, kMax16, {}, 10},
    {"+7", kMin16, kMax16, {}, 7},
    {"-0", kMin16, kMax16, {}, 0},
    {"007", kMin16, kMax16, {}, 7},
    // Halves go to the even neighbour; anything beyond a half goes up.
    {"10.5", kMin16, kMax16, {}, 10},
    {"11.5", kMin16, kMax16, {}, 12},
    {"-2.5", kMin16, kMax16, {}, -2},
    {"-3.5", kMin16, kMax16, {}, -4},
    {"0.5", kMin16, kMax16, {}, 0},
    {"10.50000000000000000001", kMin16, kMax16, {}, 11},
    {"10.4999999999999999999", kMin16, kMax16, {}, 10},
    {".5", kMin16, kMax16, {}, 0},
    {"1.", kMin16, kMax16, {}, 1},
    // Width limits, with rounding across them.
    {"32767", kMin16, kMax16, {}, 32767},
    {"32768", kMin16, kMax16, kRange, 0},
    {"32767.4", kMin16, kMax16, {}, 32767},
    {"32767.5", kMin16, kMax16, kRange, 0},
    {"-32768", kMin16, kMax16, {}, -32768},
    {"-32768.5", kMin16, kMax16, {}, -32768},
    {"-32769", kMin16, kMax16, kRange, 0},
    {"2147483647", kMin32, kMax32, {}, 2147483647},
    {"2147483648", kMin32, kMax32, kRange, 0},
    {"-2147483648", kMin32, kMax32, {}, -2147483648LL},
    {"99999999999999999999999", kMin32, kMax32, kRange, 0},
    {"00000000000000000000000000042", kMin32, kMax32, {}, 42},
    // Not numbers as a whole.
    {"", kMin16, kMax16, kNaN, 0},
    {" 10", kMin16, kMax16, kNaN, 0},
    {"10 ", kMin16, kMax16, kNaN, 0},
    {"abc", kMin16, kMax16, kNaN, 0},
    {"10abc", kMin16, kMax16, kNaN, 0},
    {"1e3", kMin16, kMax16, kNaN, 0},
    {"1,5", kMin16, kMax16, kNaN, 0},
    {".", kMin16, kMax16, kNaN, 0},
    {"-", kMin16, kMax16, kNaN, 0},
    {"--1", kMin16, kMax16, kNaN, 0},
    {"0x10", kMin16, kMax16, kNaN, 0},
    {"١٢", kMin16, kMax16, kNaN, 0},
};

TEST(StrictInteger, AcceptsOnlyWholeDecimalNumbersThatFit) {
    for (const IntCase& c : kStrict) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        const IntegerResult r = strictInteger(c.text, c.min, c.max);
        EXPECT_EQ(r.error, c.error);
        if (r.ok()) {
            EXPECT_EQ(r.value, c.value);
        }
    }
}

const IntCase kLeading[] = {
    {"2", kMin32, kMax32, {}, 2},          {"2 ; Word", kMin32, kMax32, {}, 2},
    {"  \t12abc", kMin32, kMax32, {}, 12}, {"-3x", kMin32, kMax32, {}, -3},
    {"1.5xyz", kMin32, kMax32, {}, 2},     {"2.5", kMin32, kMax32, {}, 2},
    {"abc", kMin32, kMax32, {}, 0},        {"", kMin32, kMax32, {}, 0},
    {"-", kMin32, kMax32, {}, 0},          {".x", kMin32, kMax32, {}, 0},
    {"x12", kMin32, kMax32, {}, 0},        {"1e3", kMin32, kMax32, {}, 1},
    {"255", kMin16, kMax16, {}, 255},      {"70000", kMin16, kMax16, kRange, 0},
};

TEST(LeadingInteger, TakesTheNumberAtTheStart) {
    for (const IntCase& c : kLeading) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        const IntegerResult r = leadingInteger(c.text, c.min, c.max);
        EXPECT_EQ(r.error, c.error);
        if (r.ok()) {
            EXPECT_EQ(r.value, c.value);
        }
    }
}

TEST(StrictNumber, AcceptsFiniteNumbersOnly) {
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"1", 1.0},      {"1.0", 1.0},   {"+1", 1.0},   {"-2.5", -2.5}, {".5", 0.5},
        {"1e3", 1000.0}, {"1E-2", 0.01}, {"0", 0.0},    {"", {}},       {" 1", {}},
        {"1 ", {}},      {"one", {}},    {"1e", {}},    {"1e+", {}},    {"inf", {}},
        {"nan", {}},     {"1e999", {}},  {"0x1p3", {}}, {"1,0", {}},    {"--1", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        EXPECT_EQ(strictNumber(c.text), c.value);
    }
}

}  // namespace
}  // namespace telvane::config
