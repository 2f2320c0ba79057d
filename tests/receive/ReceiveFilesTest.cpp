// The list answer read by its structure (list-answers.tsv: captured answers, and the line ends
// and blanks of other phones); the text line and the part files on the real disk.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

#include "receive/ListAnswer.h"
#include "receive/MessageFiles.h"
#include "receive/PartFiles.h"
#include "storage/LogFile.h"
#include "support/TestData.h"

using namespace telvane::receive;
using namespace telvane::storage;
using telvane::test::readFile;

namespace {

QByteArray receiveData(const char* name) {
    return readFile(telvane::test::dataPath(QStringLiteral("receive/") + QLatin1String(name)));
}

TEST(ListAnswer, ReadsEachHeaderAndItsPduLine) {
    for (const auto& row : telvane::test::tsvRows(QStringLiteral("receive/list-answers.tsv"), 4)) {
        SCOPED_TRACE(row[0] + ": " + row[3]);
        const std::string answer =
            row[0].ends_with(".txt") ? receiveData(row[0].c_str()).toStdString() : row[0];
        const auto list = parseListAnswer(answer);
        std::string indexes, problems;
        for (const auto& entry : list.entries)
            indexes += (indexes.empty() ? "" : ",") + std::to_string(entry.index);
        for (const auto& p : list.problems)
            problems += (problems.empty() ? "" : ",") + std::to_string(p.line) + ":" +
                        (p.index ? std::to_string(*p.index) : "-");
        EXPECT_EQ(indexes, row[1]);
        EXPECT_EQ(problems, row[2]);
    }
}

TEST(MessageFiles, TextModeAddsTxtOnlyWhereThePathHasNeitherTxtNorTmp) {
    QTemporaryDir dir;
    DiskFileSystem disk;
    for (const auto& [given, written] : {std::pair("Log.txt", "Log.txt"),
                                         {"5A-3.tmp", "5A-3.tmp"},
                                         {"PortLog", "PortLog.txt"},
                                         {"UPPER.TXT", "UPPER.TXT.txt"}}) {
        ASSERT_TRUE(WriteMessageFile(disk, dir.filePath(given), {QStringLiteral("a")}, {}).ok);
        EXPECT_EQ(readFile(dir.filePath(written)), "a\r\n") << given;
    }
}

MessagePart part(size_t sequence, const QString& text = QStringLiteral("t"),
                 const QString& number = QStringLiteral("+79161234567")) {
    return {QStringLiteral("5A"), 3, sequence, QStringLiteral("15.03.24 10:20:30"), number, text};
}

TEST(PartFiles, NamesHoldOnlyDigitsHexAndDashes) {
    const QRegularExpression safe(QStringLiteral("^[0-9A-F]+-[0-9]+-[0-9A-F]+\\.tmp$"));
    for (const QString sender : {"+79161234567", "InternetSMS", "../../etc/x", "a\tb\r\nc",
                                 "+123456789012345678901", ""}) {
        const QString name = partFileName(part(1, {}, sender));
        EXPECT_TRUE(safe.match(name).hasMatch() && isPartFileName(name)) << name.toStdString();
    }
    EXPECT_EQ(partFileName(part(2)), QStringLiteral("5A-3-79161234567.tmp"));
    EXPECT_NE(partFileName(part(1, {}, QStringLiteral("Bank"))),
              partFileName(part(1, {}, QStringLiteral("Shop"))));
    EXPECT_FALSE(isPartFileName(QStringLiteral("5A-3.tmp.bak")));
    EXPECT_FALSE(isPartFileName(QStringLiteral("notes.tmp")));
}

TEST(PartFiles, EachPartIsHeldOnceAndATornLineLosesNoOther) {
    QTemporaryDir dir;
    DiskFileSystem disk;
    const QString folder = dir.path() + QLatin1Char('/');
    const QString path = folder + partFileName(part(1));
    EXPECT_EQ(offerPart(disk, folder, part(3, QStringLiteral("c"))), OfferOutcome::Stored);
    EXPECT_EQ(offerPart(disk, folder, part(3, QStringLiteral("c"))), OfferOutcome::AlreadyHeld);
    EXPECT_EQ(offerPart(disk, folder, part(1, QStringLiteral("a"))), OfferOutcome::Stored);
    QFile file(path);  // a crash in the middle of the next line
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("2\t15.03");
    file.close();
    EXPECT_EQ(readPartLines(readFile(path), QStringLiteral("5A"), 3).size(), 2u);
    EXPECT_EQ(offerPart(disk, folder, part(2, QStringLiteral("b"))), OfferOutcome::Stored);
    const auto parts = readPartLines(readFile(path), QStringLiteral("5A"), 3);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_TRUE(groupBySender(parts).front().complete(3));
    EXPECT_EQ(assemble(parts).text, QStringLiteral("abc"));
    // A sequence number outside 1..total is not a part of this message.
    EXPECT_TRUE(
        readPartLines(partLine(part(4)) + partLine(part(0)), QStringLiteral("5A"), 3).empty());
}

}  // namespace
