// Splitting an outgoing-message file into number and text.
#include <gtest/gtest.h>

#include "send/OutgoingFile.h"

using namespace telvane::send;

namespace {

TEST(OutgoingFile, SplitsAtTheFirstSeparatorAndTrimsOnlySpaces) {
    struct Case {
        std::u32string content;
        std::u32string separator;
        OutgoingFileResult expected;
    };
    const Case cases[] = {
        {U"7916\tHi", U"\t", OutgoingFields{U"7916", U"Hi"}},
        {U"7916\ta\tb", U"\t", OutgoingFields{U"7916", U"a\tb"}},
        {U"  7916  \t  Hi  ", U"\t", OutgoingFields{U"7916", U"Hi"}},
        {U"7916\t\tHi\r\n", U"\t", OutgoingFields{U"7916", U"\tHi\r\n"}},
        {U"7916 two words", U" ", OutgoingFields{U"7916", U"two words"}},
        {U"7916\t", U"\t", OutgoingFields{U"7916", U""}},
        {U"\t", U"\t", OutgoingFields{U"", U""}},
        {U"7916[tab]Hi", U"[TAB]", OutgoingFileError::NoSeparator},
        {U"7916 Hi", U"\t", OutgoingFileError::NoSeparator},
        {U"7916\tHi", U"", OutgoingFileError::NoSeparator},
        {U"", U"\t", OutgoingFileError::Empty},
    };
    for (const Case& c : cases) {
        const auto result = splitOutgoingFile(c.content, c.separator);
        ASSERT_EQ(result.index(), c.expected.index());
        if (const auto* f = std::get_if<OutgoingFields>(&result)) {
            EXPECT_EQ(f->number, std::get<OutgoingFields>(c.expected).number);
            EXPECT_EQ(f->text, std::get<OutgoingFields>(c.expected).text);
        } else {
            EXPECT_EQ(std::get<OutgoingFileError>(result), std::get<OutgoingFileError>(c.expected));
        }
    }
}

}  // namespace
