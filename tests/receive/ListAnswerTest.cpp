// The list answer read by its structure, on captured answers and on the line ends and blanks
// of other phones.
#include <gtest/gtest.h>

#include "ReceiveTestSupport.h"
#include "receive/ListAnswer.h"

using telvane::test::readData;

namespace {

struct Problem {
    size_t line;
    std::optional<std::uint32_t> index;
    bool operator==(const Problem&) const = default;
};

TEST(ListAnswer, ReadsEachHeaderAndItsPduLine) {
    const struct {
        const char* name;
        QByteArray answer;
        std::vector<std::uint32_t> indexes;
        std::vector<Problem> problems;
    } rows[] = {
        {"me-empty", readData("me-empty.txt"), {}, {}},
        {"me-two-messages", readData("me-two-messages.txt"), {1, 2}, {}},
        {"sm-status-report", readData("sm-status-report.txt"), {3}, {}},
        {"me-two-senders-same-reference",
         readData("me-two-senders-same-reference.txt"),
         {1, 2, 3, 4, 5, 6},
         {}},
        // A quoted alphanumeric field of 26 hexadecimal characters is not a PDU line.
        {"me-alphanumeric-headers", readData("me-alphanumeric-headers.txt"), {8, 9}, {}},
        // No comma after the index, a header followed by a header, a non-hexadecimal PDU line,
        // one of odd length, and a PDU line without a header; the good entry is still read.
        {"me-broken-entries",
         readData("me-broken-entries.txt"),
         {15},
         {{3, std::nullopt}, {5, 12}, {7, 13}, {9, 14}, {10, std::nullopt}}},
        {"LF alone, blanks after the colon and in the PDU line, lower-case digits",
         "+CMGL:  4 ,1,,5\n0001 00 0a81\n00000000\nOK\n",
         {4},
         {}},
        {"CR alone", "+CMGL: 2,0,,5\r000100\r", {2}, {}},
        {"an index beyond the 16-bit range, a header with a sign",
         "+CMGL: 70000,0,,5\r\n00\r\n+CMGL: -1,0,,5\r\n00\r\n",
         {},
         {{1, std::nullopt}, {3, std::nullopt}}},
        {"cut off after a header", "+CMGL: 1,0,,5", {}, {{1, 1}}},
        {"nothing", "", {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto list = telvane::receive::parseListAnswer(
            std::string_view(row.answer.constData(), size_t(row.answer.size())));
        std::vector<std::uint32_t> indexes;
        for (const auto& entry : list.entries) indexes.push_back(entry.index);
        std::vector<Problem> problems;
        for (const auto& problem : list.problems) problems.push_back({problem.line, problem.index});
        EXPECT_EQ(indexes, row.indexes);
        EXPECT_EQ(problems, row.problems);
    }
}

}  // namespace
