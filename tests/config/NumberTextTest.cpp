// The number conversions of settings text, at the edges of their grammar and widths.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "ConfigTestSupport.h"
#include "config/NumberText.h"

namespace telvane::config {
namespace {

std::string resultText(const IntegerResult& r) {
    if (r.ok()) return std::to_string(r.value);
    return *r.error == NumberTextError::NotANumber ? "not a number" : "out of range";
}

TEST(NumberText, ConversionsOfEveryRow) {
    const auto rows = test::tsvRows("numbers.tsv");
    ASSERT_EQ(rows.size(), 71u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 4u);
        const std::string& text = row[1];
        SCOPED_TRACE(row[0] + " \"" + text + "\"");
        if (row[0] == "number") {
            const std::optional<double> value = strictNumber(text);
            EXPECT_EQ(value, row[3] == "not a number" ? std::nullopt
                                                      : std::optional<double>(std::stod(row[3])));
            continue;
        }
        const bool wide = row[2] == "32";
        const std::int64_t min = wide ? std::numeric_limits<std::int32_t>::min()
                                      : std::numeric_limits<std::int16_t>::min();
        const std::int64_t max = wide ? std::numeric_limits<std::int32_t>::max()
                                      : std::numeric_limits<std::int16_t>::max();
        EXPECT_EQ(resultText(row[0] == "strict" ? strictInteger(text, min, max)
                                                : leadingInteger(text, min, max)),
                  row[3]);
    }
}

}  // namespace
}  // namespace telvane::config
