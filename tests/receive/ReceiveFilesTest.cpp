// The day's file name, the text line, the part files and the journal, on the real disk; a
// write cut short by the file size limit stands in for a full disk.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

#include "ReceiveTestSupport.h"
#include "receive/MessageFiles.h"
#include "receive/PartFiles.h"
#include "receive/StoredJournal.h"

using namespace telvane::receive;
using telvane::test::readFile;

namespace {

TEST(MessageFiles, DayFileNameByFileType) {
    const QDate day(2026, 12, 5);
    EXPECT_EQ(DayFileName(day, 0), QStringLiteral("26-12-05.txt"));
    EXPECT_EQ(DayFileName(day, 1), QStringLiteral("26-12-05.doc"));
    EXPECT_EQ(DayFileName(day, 2), QStringLiteral("26-12-05.xls"));
    EXPECT_EQ(DayFileName(day, 3), QStringLiteral("26-12-05"));
    EXPECT_EQ(DayFileName(QDate(2000, 1, 31), 0), QStringLiteral("00-01-31.txt"));
}

TEST(MessageFiles, TextLineIsTabSeparatedWindows1251EndedByCrLf) {
    struct Row {
        QStringList fields;
        QByteArray line;
    };
    const Row rows[] = {
        {{QStringLiteral("05.12.26 21:07:30"), QStringLiteral("+12345678901"), QStringLiteral("Hello")},
         "05.12.26 21:07:30\t+12345678901\tHello\r\n"},
        {{QString(), QStringLiteral("+1"), QStringLiteral("a\r\nb\nc\td")}, "\t+1\ta b c d\r\n"},
        {{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("Ёж №1")},
         "x\ty\t\xa8\xe6 \xb9" "1\r\n"},
        // A character the code page lacks becomes "?"; an empty text stays an empty field.
        {{QStringLiteral("x"), QStringLiteral("y"), QString::fromUtf8("\xe2\x82\xac\xf0\x9f\x98\x80")},
         "x\ty\t\x88?\r\n"},
        {{QStringLiteral("x"), QStringLiteral("y"), QString()}, "x\ty\t\r\n"},
    };
    for (const Row& row : rows) EXPECT_EQ(textLine(row.fields), row.line);
    EXPECT_EQ(logLine(QDateTime(QDate(2026, 12, 5), QTime(21, 7, 30)), QStringLiteral("Ошибка")),
              "05.12.2026\t21:07:30\t\xce\xf8\xe8\xe1\xea\xe0\r\n");
}

TEST(MessageFiles, TextModeAddsTxtOnlyWhereThePathHasNeitherTxtNorTmp) {
    QTemporaryDir dir;
    DiskFileSystem disk;
    const struct {
        const char* given;
        const char* written;
    } rows[] = {{"Log.txt", "Log.txt"},
                {"5A-3.tmp", "5A-3.tmp"},
                {"PortLog", "PortLog.txt"},
                {"UPPER.TXT", "UPPER.TXT.txt"}};
    for (const auto& row : rows) {
        ASSERT_TRUE(WriteMessageFile(disk, dir.filePath(row.given), {QStringLiteral("a")}, {0}).ok);
        EXPECT_EQ(readFile(dir.filePath(row.written)), "a\r\n") << row.given;
    }
    // Two stores go to the same file, in order.
    ASSERT_TRUE(WriteMessageFile(disk, dir.filePath("Log.txt"), {QStringLiteral("b")}, {0}).ok);
    EXPECT_EQ(readFile(dir.filePath("Log.txt")), "a\r\nb\r\n");
    EXPECT_FALSE(WriteMessageFile(disk, dir.filePath("x"), {QStringLiteral("a")}, {3}).ok);
    EXPECT_FALSE(QFile::exists(dir.filePath("x")));
}

TEST(MessageFiles, AWriteCutShortLeavesTheFileAsItWas) {
    QTemporaryDir dir;
    DiskFileSystem disk;
    const QString path = dir.filePath(QStringLiteral("26-12-05.txt"));
    ASSERT_TRUE(disk.appendDurably(path, "first\r\n").ok);

    // The file may grow by 10 bytes only: the next line is written in part, then refused.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit former{};
    getrlimit(RLIMIT_FSIZE, &former);
    rlimit tight = former;
    tight.rlim_cur = 7 + 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const WriteResult cut = disk.appendDurably(path, QByteArray(40, 'x') + "\r\n");
    setrlimit(RLIMIT_FSIZE, &former);

    EXPECT_FALSE(cut.ok);
    EXPECT_TRUE(cut.error.startsWith(path)) << cut.error.toStdString();
    EXPECT_EQ(readFile(path), "first\r\n");
    ASSERT_TRUE(disk.appendDurably(path, "second\r\n").ok);
    EXPECT_EQ(readFile(path), "first\r\nsecond\r\n");
}

MessagePart part(size_t sequence, const QString& number = QStringLiteral("+79161234567"),
                 const QString& text = QStringLiteral("t")) {
    return {QStringLiteral("5A"), 3, sequence, QStringLiteral("15.03.24 10:20:30"), number, text};
}

TEST(PartFiles, NamesHoldOnlyDigitsHexAndDashes) {
    const QRegularExpression safe(QStringLiteral("^[0-9A-F]+-[0-9]+-[0-9A-F]+\\.tmp$"));
    const QString senders[] = {QStringLiteral("+79161234567"), QStringLiteral("InternetSMS"),
                               QStringLiteral("../../etc/x"), QStringLiteral("a\tb\r\nc"),
                               QStringLiteral("+123456789012345678901"), QString()};
    for (const QString& sender : senders) {
        const QString name = partFileName(part(1, sender));
        EXPECT_TRUE(safe.match(name).hasMatch()) << name.toStdString();
        EXPECT_TRUE(isPartFileName(name)) << name.toStdString();
    }
    EXPECT_EQ(partFileName(part(2)), QStringLiteral("5A-3-79161234567.tmp"));
    EXPECT_NE(partFileName(part(1, QStringLiteral("Bank"))), partFileName(part(1, QStringLiteral("Shop"))));
    EXPECT_FALSE(isPartFileName(QStringLiteral("5A-3.tmp.bak")));
    EXPECT_FALSE(isPartFileName(QStringLiteral("notes.tmp")));
}

TEST(PartFiles, JoinsBySequenceNumberAndIgnoresATornLastLine) {
    const QByteArray content = partLine(part(3, QStringLiteral("+7"), QStringLiteral("c"))) +
                               partLine(part(1, QStringLiteral("+7"), QStringLiteral("a"))) +
                               "2\t15.03.24 10:20:31\t+7\t" +  // torn: no CR LF
                               QByteArray();
    const auto parts = readPartLines(content, QStringLiteral("5A"), 3);
    ASSERT_EQ(parts.size(), 2u);
    const AssembledMessage message = assemble(parts);
    EXPECT_EQ(message.text, QStringLiteral("ac"));
    EXPECT_EQ(message.number, QStringLiteral("+7"));
    // A sequence number outside 1..total is not a part of this message.
    EXPECT_TRUE(readPartLines(partLine(part(4)), QStringLiteral("5A"), 3).empty());
    EXPECT_TRUE(readPartLines(partLine(part(0)), QStringLiteral("5A"), 3).empty());
}

TEST(PartFiles, APartHeldAlreadyIsNotWrittenTwice) {
    QTemporaryDir dir;
    DiskFileSystem disk;
    const QString folder = dir.path() + QLatin1Char('/');
    EXPECT_EQ(offerPart(disk, folder, part(2)), OfferOutcome::Stored);
    EXPECT_EQ(offerPart(disk, folder, part(2)), OfferOutcome::AlreadyHeld);
    EXPECT_EQ(offerPart(disk, folder, part(1)), OfferOutcome::Stored);
    // A line torn by a crash does not swallow the next part.
    const QString path = folder + partFileName(part(1));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("3\t15.03");
    file.close();
    EXPECT_EQ(offerPart(disk, folder, part(3)), OfferOutcome::Stored);
    const auto parts = readPartLines(readFile(path), QStringLiteral("5A"), 3);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(groupBySender(parts).front().complete(3), true);
}

TEST(StoredJournal, RemembersAcrossRestartsAndStaysBounded) {
    QTemporaryDir dir;
    DiskFileSystem disk;
    const QString path = dir.filePath(StoredJournal::fileName());
    const auto key = [](int i) {
        return journalKey(QStringLiteral("message"), QStringLiteral("+7"), QStringLiteral("ts"),
                          QString::number(i));
    };
    {
        StoredJournal journal(disk, path, 10);
        for (int i = 0; i < 25; ++i) ASSERT_TRUE(journal.add(key(i)).ok);
        EXPECT_EQ(journal.size(), 10u);
    }
    EXPECT_LT(readFile(path).count('\n'), 20);
    StoredJournal reloaded(disk, path, 10);
    EXPECT_TRUE(reloaded.contains(key(24)));
    EXPECT_TRUE(reloaded.contains(key(15)));
    EXPECT_FALSE(reloaded.contains(key(14)));
    // Fields do not run into each other.
    EXPECT_NE(journalKey("a", "bc", "", ""), journalKey("a", "b", "c", ""));
}

TEST(StoredJournal, ATornLastLineIsDroppedNotJoinedToTheNextKey) {
    QTemporaryDir dir;
    DiskFileSystem disk;
    const QString path = dir.filePath(StoredJournal::fileName());
    const QByteArray first = journalKey("m", "+7", "ts", "1");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(first + "\n" + first.left(10));
    file.close();
    StoredJournal journal(disk, path);
    const QByteArray second = journalKey("m", "+7", "ts", "2");
    ASSERT_TRUE(journal.add(second).ok);
    StoredJournal reloaded(disk, path);
    EXPECT_TRUE(reloaded.contains(first));
    EXPECT_TRUE(reloaded.contains(second));
}

}  // namespace
