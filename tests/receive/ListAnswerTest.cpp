// The list answer read by its structure, on captured answers.
#include <gtest/gtest.h>

#include "ReceiveTestSupport.h"
#include "receive/ListAnswer.h"

using telvane::receive::parseListAnswer;
using telvane::test::readData;

namespace {

struct Problem {
    size_t line;
    std::optional<std::uint32_t> index;
};

struct Case {
    const char* file;
    std::vector<std::uint32_t> indexes;
    std::vector<Problem> problems;
};

TEST(ListAnswer, ReadsEachHeaderAndItsPduLine) {
    const Case cases[] = {
        {"me-empty.txt", {}, {}},
        {"me-two-messages.txt", {1, 2}, {}},
        {"sm-status-report.txt", {3}, {}},
        {"me-three-parts-3-1-2.txt", {1, 2, 3}, {}},
        {"me-two-senders-same-reference.txt", {1, 2, 3, 4, 5, 6}, {}},
        // A quoted alphanumeric field of 26 hexadecimal characters is not a PDU line.
        {"me-alphanumeric-headers.txt", {8, 9}, {}},
        // No comma after the index, a header followed by a header, a non-hexadecimal PDU line,
        // one of odd length, and a PDU line without a header; the good entry is still read.
        {"me-broken-entries.txt",
         {15},
         {{3, std::nullopt}, {5, 12}, {7, 13}, {9, 14}, {10, std::nullopt}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QByteArray answer = readData(QString::fromLatin1(c.file));
        ASSERT_FALSE(answer.isEmpty());
        const auto list = parseListAnswer(std::string_view(answer.constData(), size_t(answer.size())));
        std::vector<std::uint32_t> indexes;
        for (const auto& entry : list.entries) indexes.push_back(entry.index);
        EXPECT_EQ(indexes, c.indexes);
        ASSERT_EQ(list.problems.size(), c.problems.size());
        for (size_t i = 0; i < c.problems.size(); ++i) {
            EXPECT_EQ(list.problems[i].line, c.problems[i].line) << list.problems[i].reason;
            EXPECT_EQ(list.problems[i].index, c.problems[i].index) << list.problems[i].reason;
        }
    }
}

TEST(ListAnswer, TakesThePduLineWhole) {
    const QByteArray answer = readData(QStringLiteral("me-alphanumeric-headers.txt"));
    const auto list = parseListAnswer(std::string_view(answer.constData(), size_t(answer.size())));
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].pdu,
              "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07");
    EXPECT_EQ(list.entries[0].line, 3u);
}

TEST(ListAnswer, LineEndsAndBlanksOfOtherPhones) {
    struct Row {
        const char* answer;
        std::vector<std::uint32_t> indexes;
        size_t problems;
    };
    const Row rows[] = {
        // LF alone, blanks after the colon and in the PDU line, lower-case digits.
        {"+CMGL:  4 ,1,,5\n0001 00 0a81\n00000000\nOK\n", {4}, 0},
        // CR alone.
        {"+CMGL: 2,0,,5\r000100\r", {2}, 0},
        // An index beyond the 16-bit range, and a header with a sign.
        {"+CMGL: 70000,0,,5\r\n00\r\n+CMGL: -1,0,,5\r\n00\r\n", {}, 2},
        // The answer cut off after a header.
        {"+CMGL: 1,0,,5", {}, 1},
        {"", {}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answer);
        const auto list = parseListAnswer(row.answer);
        std::vector<std::uint32_t> indexes;
        for (const auto& entry : list.entries) indexes.push_back(entry.index);
        EXPECT_EQ(indexes, row.indexes);
        EXPECT_EQ(list.problems.size(), row.problems);
    }
}

}  // namespace
