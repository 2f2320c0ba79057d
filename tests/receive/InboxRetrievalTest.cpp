// One retrieval run against a scripted phone with captured list answers: the commands, the
// statuses, the day's file, the part files, and what stays in the phone when a write fails.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "ReceiveTestSupport.h"
#include "receive/InboxRetrieval.h"
#include "receive/StoredJournal.h"

using namespace telvane;
using test::PollBench;
using test::readData;
using test::readFile;
using test::textLines;

namespace {

const QString kHow = QStringLiteral("26.08.02 19:37:41\t+31641600986\tHow are you?");
const QString kHelloHello = QStringLiteral("01.01.11 12:34:56\t+18005551212\thellohello");
const QString kHello = QStringLiteral("05.12.26 21:07:30\t+12345678901\tHello");
const QString kOneTwoThree = QStringLiteral("15.03.24 10:20:30\t+79161234567\t") +
                             QStringLiteral("one ").repeated(39).left(153) +
                             QStringLiteral("two ").repeated(39).left(153) +
                             QStringLiteral("three, the end");
const QString kUnoDosTres = QStringLiteral("15.03.24 10:20:30\t+79031234567\t") +
                            QStringLiteral("uno ").repeated(39).left(153) +
                            QStringLiteral("dos ").repeated(39).left(153) +
                            QStringLiteral("tres");

void load(PollBench& bench, const char* me, const char* sm) {
    bench.phone.forgetDeletes();
    bench.phone.memories["ME"].answer = me ? readData(QString::fromLatin1(me)) : readData("me-empty.txt");
    bench.phone.memories["SM"].answer = sm ? readData(QString::fromLatin1(sm)) : readData("me-empty.txt");
}

void poll(receive::InboxRetrieval& inbox, PollBench& bench) {
    auto context = bench.context();
    inbox.RetrieveInbox(context);
}

QString storedNumber(const PollBench& bench) {
    return bench.settings->text(config::setting::Number);
}

TEST(InboxRetrieval, StoresInListOrderThenDeletesEachMessage) {
    PollBench bench;
    load(bench, "me-two-messages.txt", "sm-one-message.txt");
    // A message leaves the phone only when its line is already in the day's file, and Number
    // is stored before the delete.
    std::vector<std::pair<qsizetype, QString>> atDelete;
    bench.phone.onDelete = [&](const QByteArray&, int) {
        atDelete.push_back({textLines(bench.dayFile()).size(), storedNumber(bench)});
    };
    receive::InboxRetrieval inbox;
    poll(inbox, bench);

    std::vector<QByteArray> commands;
    for (const auto& s : bench.phone.sent) commands.push_back(s.command);
    EXPECT_EQ(commands, (std::vector<QByteArray>{"AT+CPMS=\"ME\"\r\n", "AT+CMGL=4\r\n",
                                                 "at+cmgd=1\r", "at+cmgd=2\r",
                                                 "AT+CPMS=\"SM\"\r\n", "AT+CMGL=4\r\n",
                                                 "at+cmgd=1\r"}));
    EXPECT_EQ(bench.phone.sent[0].action, QStringLiteral("Выбор хранилища SMS"));
    EXPECT_EQ(bench.phone.sent[0].delay, 2);
    EXPECT_EQ(bench.phone.sent[1].action, QStringLiteral("Проверка наличия SMS"));
    EXPECT_EQ(bench.phone.sent[1].delay, 20);
    EXPECT_EQ(bench.phone.sent[3].action, QStringLiteral("Удаление SMS из ячейки 2"));
    EXPECT_EQ(bench.phone.sent[3].delay, 5);

    EXPECT_EQ(textLines(bench.dayFile()), QStringList({kHow, kHelloHello, kHello}));
    EXPECT_EQ(atDelete, (std::vector<std::pair<qsizetype, QString>>{
                            {1, QStringLiteral("2")}, {2, QStringLiteral("3")}, {3, QStringLiteral("4")}}));
    EXPECT_EQ(bench.working.gflSMSnum, 4);
    EXPECT_EQ(bench.status.texts,
              QStringList({QStringLiteral("Загрузка сообщений из телефона"),
                           QStringLiteral("Запись сообщения: 1"), QStringLiteral("Запись сообщения: 2"),
                           QStringLiteral("Загрузка сообщений из телефона"),
                           QStringLiteral("Запись сообщения: 1"),
                           QStringLiteral("Принято сообщений: 3")}));
    EXPECT_EQ(bench.status.icons, (std::vector<int>{4, 5, 5, 4, 5, 1}));
    EXPECT_EQ(bench.clock.now, 1000);  // the pause before the part files are looked at
    EXPECT_FALSE(QFile::exists(bench.logFile()));
}

TEST(InboxRetrieval, StagesFollowWhatThePhoneAccepts) {
    struct Case {
        const char* name;
        bool meSelectable, smSelectable, meLists;
        QStringList lines;
        bool finalStatus;
    };
    const Case cases[] = {
        {"no phone memory: only the SIM", false, true, true, {kHello}, true},
        {"no SIM: the run ends after the phone memory", true, false, true, {kHow, kHelloHello}, false},
        {"the phone memory does not list", true, true, false, {kHello}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PollBench bench;
        load(bench, "me-two-messages.txt", "sm-one-message.txt");
        bench.phone.memories["ME"].selectable = c.meSelectable;
        bench.phone.memories["SM"].selectable = c.smSelectable;
        bench.phone.memories["ME"].listAnswers = c.meLists;
        receive::InboxRetrieval inbox;
        poll(inbox, bench);
        EXPECT_EQ(textLines(bench.dayFile()), c.lines);
        EXPECT_EQ(bench.status.texts.last().startsWith(QStringLiteral("Принято сообщений: ")),
                  c.finalStatus);
    }
}

TEST(InboxRetrieval, JoinsPartsBySequenceNumberAcrossPolls) {
    // Out of order in one poll; two then one over two polls; the same part listed in both
    // memories; two senders with the same reference.
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> polls;  // ME, SM answers per poll
        std::vector<qsizetype> partLinesAfterEach;
        QStringList lines;
    };
    const Case cases[] = {
        {"3, 1, 2 in one poll", {{"me-three-parts-3-1-2.txt", nullptr}}, {0}, {kOneTwoThree}},
        {"2, 1, then 3 at the next poll",
         {{"me-parts-2-1.txt", nullptr}, {nullptr, "sm-part-3.txt"}},
         {2, 0},
         {kOneTwoThree}},
        {"the same parts in both memories",
         {{"me-parts-2-1.txt", "me-parts-2-1.txt"}, {nullptr, "sm-part-3.txt"}},
         {2, 0},
         {kOneTwoThree}},
        {"two senders, one reference",
         {{"me-two-senders-same-reference.txt", nullptr}},
         {0},
         {kUnoDosTres, kOneTwoThree}},  // part files are joined in the order of their names
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PollBench bench;
        receive::InboxRetrieval inbox;
        // Each part is in its part file before it leaves the phone.
        bench.phone.onDelete = [&](const QByteArray&, int) {
            EXPECT_FALSE(bench.partFiles().isEmpty());
        };
        for (size_t i = 0; i < c.polls.size(); ++i) {
            load(bench, c.polls[i].first, c.polls[i].second);
            poll(inbox, bench);
            qsizetype partLines = 0;
            for (const QString& name : bench.partFiles()) {
                partLines += readFile(bench.homePath(name)).count("\r\n");
                EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F-]+\\.tmp$")).match(name).hasMatch());
            }
            EXPECT_EQ(partLines, c.partLinesAfterEach[i]) << "poll " << i;
        }
        EXPECT_EQ(textLines(bench.dayFile()), c.lines);
        EXPECT_GE(bench.phone.deletes().size(), 3);
    }
}

TEST(InboxRetrieval, AnIncompleteMessageIsStoredOnceItsPartFileHasWaited4Periods) {
    PollBench bench("[Options]\r\nPeriod=10\r\n");
    receive::InboxRetrieval inbox;
    load(bench, "me-parts-2-1.txt", nullptr);
    poll(inbox, bench);
    ASSERT_EQ(bench.partFiles().size(), 1);

    load(bench, nullptr, nullptr);
    bench.wallClock.offsetSeconds = 38;
    poll(inbox, bench);
    EXPECT_EQ(bench.partFiles().size(), 1);
    EXPECT_TRUE(textLines(bench.dayFile()).isEmpty());

    bench.wallClock.offsetSeconds = 41;
    poll(inbox, bench);
    EXPECT_TRUE(bench.partFiles().isEmpty());
    EXPECT_EQ(textLines(bench.dayFile()),
              QStringList({QStringLiteral("15.03.24 10:20:30\t+79161234567\t") +
                           QStringLiteral("one ").repeated(39).left(153) +
                           QStringLiteral("two ").repeated(39).left(153)}));
}

TEST(InboxRetrieval, ReportsEmptyTextsAndAlphanumericHeadersAreStored) {
    struct Case {
        const char* file;
        QByteArray ini;
        QStringList lines;
    };
    const Case cases[] = {
        {"sm-status-report.txt", {},
         {QStringLiteral("05.12.26 21:07:30\t+12345678901\tОтчет о доставке: Доставлено +12345678901")}},
        {"sm-status-report.txt", "[SMSreports]\r\nDelivered=\xcf\xee\xeb\xf3\xf7\xe5\xed\xee\r\n",
         {QStringLiteral("05.12.26 21:07:30\t+12345678901\tОтчет о доставке: Получено +12345678901")}},
        {"me-empty-text.txt", {}, {QStringLiteral("09.03.24 14:05:07\t+447700900123\t")}},
        {"me-alphanumeric-headers.txt", {}, {kHow, kHello}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        PollBench bench(c.ini);
        load(bench, c.file, nullptr);
        receive::InboxRetrieval inbox;
        poll(inbox, bench);
        EXPECT_EQ(textLines(bench.dayFile()), c.lines);
        EXPECT_EQ(bench.phone.deletes().size(), c.lines.size());
    }
}

TEST(InboxRetrieval, NumberRunsFrom1To10000) {
    PollBench bench("[SMS]\r\nNumber=9999\r\n");
    load(bench, "me-two-messages.txt", "sm-one-message.txt");
    receive::InboxRetrieval inbox;
    poll(inbox, bench);
    EXPECT_EQ(bench.working.gflSMSnum, 2);
    EXPECT_EQ(storedNumber(bench), QStringLiteral("2"));
}

TEST(InboxRetrieval, AFailedStoreLeavesTheMessageInThePhoneAndLogsIt) {
    // The receive folder is a file: nothing can be written there, at each poll.
    PollBench bench;
    QFile blocker(bench.working.gfsReceive.chopped(1));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    load(bench, "me-two-messages.txt", "sm-one-message.txt");
    receive::InboxRetrieval inbox;
    poll(inbox, bench);
    poll(inbox, bench);
    EXPECT_TRUE(bench.phone.deletes().isEmpty());
    const QStringList log = textLines(bench.logFile());
    ASSERT_EQ(log.size(), 6);
    for (const QString& line : log) {
        EXPECT_TRUE(line.endsWith(QStringLiteral("\tОшибка записи сообщения в файл: ") +
                                  QFileInfo(bench.dayFile()).fileName()))
            << line.toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}\t\\d\\d:\\d\\d:\\d\\d\t"))
                        .match(line).hasMatch());
    }
    EXPECT_EQ(bench.working.gflSMSnum, 1);
    EXPECT_EQ(bench.status.texts.last(), QStringLiteral("Принято сообщений: 3"));
}

TEST(InboxRetrieval, UnknownFileTypeStoresNothing) {
    PollBench bench("[SMS]\r\nFileType=3\r\n");
    load(bench, "me-two-messages.txt", nullptr);
    receive::InboxRetrieval inbox;
    poll(inbox, bench);
    EXPECT_TRUE(bench.phone.deletes().isEmpty());
    EXPECT_EQ(textLines(bench.logFile()).size(), 2);
    EXPECT_TRUE(textLines(bench.logFile()).first().endsWith(
        QStringLiteral("Ошибка записи сообщения в файл: ") +
        bench.wallClock.now().toString(QStringLiteral("yy-MM-dd"))));
}

TEST(InboxRetrieval, OfficeFileTypesGetOneRowPerMessage) {
    for (const char* type : {"1", "2"}) {
        SCOPED_TRACE(type);
        PollBench bench(QByteArray("[SMS]\r\nFileType=") + type + "\r\n");
        load(bench, "me-two-messages.txt", nullptr);
        receive::InboxRetrieval inbox;
        poll(inbox, bench);
        const QString day = bench.working.gfsReceive +
                            bench.wallClock.now().toString(QStringLiteral("yy-MM-dd")) +
                            (QByteArray(type) == "1" ? QStringLiteral(".doc") : QStringLiteral(".xls"));
        EXPECT_TRUE(QFile::exists(day));
        EXPECT_EQ(bench.phone.deletes().size(), 2);
        EXPECT_FALSE(QFile::exists(bench.logFile()));
    }
}

TEST(InboxRetrieval, UnreadableEntriesStayAndUndecodablePdusLeaveOnlyAfterTheirLogLine) {
    PollBench bench;
    load(bench, "me-broken-entries.txt", "me-undecodable.txt");
    receive::InboxRetrieval inbox;
    poll(inbox, bench);
    // ME: only the good entry 15 leaves; SM: the PDU cut short is logged with its raw text,
    // then deleted; entry 6 is the message of entry 15 once more and is not stored again.
    EXPECT_EQ(bench.phone.deletes(),
              QStringList({QStringLiteral("at+cmgd=15"), QStringLiteral("at+cmgd=5"),
                           QStringLiteral("at+cmgd=6")}));
    EXPECT_EQ(textLines(bench.dayFile()), QStringList({kHello}));
    const QStringList log = textLines(bench.logFile());
    ASSERT_EQ(log.size(), 6);
    EXPECT_TRUE(log[1].contains(QStringLiteral("ячейка 12")));
    EXPECT_TRUE(log[5].contains(QStringLiteral("SM, ячейка 5")));
    EXPECT_TRUE(log[5].contains(QStringLiteral("07912143658709F1040B912143658709F10000622150127003")));
    EXPECT_EQ(bench.status.texts.last(), QStringLiteral("Принято сообщений: 2"));
}

TEST(InboxRetrieval, AnUndecodablePduStaysWhenItsLogLineCannotBeWritten) {
    PollBench bench;
    QFile blocker(bench.working.gfsLogs.chopped(1));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    load(bench, "me-undecodable.txt", nullptr);
    receive::InboxRetrieval inbox;
    poll(inbox, bench);
    EXPECT_EQ(bench.phone.deletes(), QStringList({QStringLiteral("at+cmgd=6")}));
}

TEST(InboxRetrieval, AStoredMessageIsNotStoredAgainAfterARestart) {
    PollBench bench;
    load(bench, "me-two-messages.txt", "me-same-message-twice.txt");
    {
        // The program stops after the stores and before any delete reaches the phone.
        bench.phone.deletesWork = false;
        receive::InboxRetrieval inbox;
        poll(inbox, bench);
    }
    bench.phone.deletesWork = true;
    bench.phone.sent.clear();
    receive::InboxRetrieval restarted;
    poll(restarted, bench);
    // The network delivered the Cyrillic message twice: it is stored once.
    const QString hello = QStringLiteral("05.12.26 21:07:30\t+12345678901\tЗдравствуй");
    EXPECT_EQ(textLines(bench.dayFile()), QStringList({kHow, kHelloHello, hello}));
    EXPECT_EQ(bench.phone.deletes(),
              QStringList({QStringLiteral("at+cmgd=1"), QStringLiteral("at+cmgd=2"),
                           QStringLiteral("at+cmgd=1"), QStringLiteral("at+cmgd=2")}));
    EXPECT_EQ(bench.working.gflSMSnum, 4);
}

TEST(InboxRetrieval, APartIsStoredOnceWhateverStopsTheRun) {
    PollBench bench;
    receive::InboxRetrieval inbox;
    // Parts written but not deleted (the program stopped); then the SIM cannot be selected.
    bench.phone.deletesWork = false;
    load(bench, "me-parts-2-1.txt", nullptr);
    bench.phone.memories["SM"].selectable = false;
    poll(inbox, bench);
    ASSERT_EQ(bench.partFiles().size(), 1);

    bench.phone.deletesWork = true;
    bench.phone.memories["SM"].selectable = true;
    load(bench, "me-parts-2-1.txt", "sm-part-3.txt");
    receive::InboxRetrieval restarted;
    poll(restarted, bench);
    EXPECT_EQ(textLines(bench.dayFile()), QStringList({kOneTwoThree}));
    EXPECT_TRUE(bench.partFiles().isEmpty());

    // The network sends part 2 once more after the message was joined: dropped, deleted.
    load(bench, "me-parts-2-1.txt", nullptr);
    bench.phone.sent.clear();
    poll(restarted, bench);
    EXPECT_EQ(textLines(bench.dayFile()), QStringList({kOneTwoThree}));
    EXPECT_TRUE(bench.partFiles().isEmpty());
    EXPECT_EQ(bench.phone.deletes().size(), 2);
}

TEST(InboxRetrieval, APartFileIsKeptUntilItsMessageIsStored) {
    PollBench bench;
    test::FailingFileSystem files;
    receive::InboxRetrieval inbox(files);
    files.failAppendsTo = QStringLiteral("Receive");
    load(bench, "me-three-parts-3-1-2.txt", nullptr);
    poll(inbox, bench);
    EXPECT_EQ(bench.partFiles().size(), 1);
    EXPECT_EQ(bench.phone.deletes().size(), 3);
    EXPECT_EQ(textLines(bench.logFile()).size(), 1);

    files.failAppendsTo.clear();
    load(bench, nullptr, nullptr);
    poll(inbox, bench);
    EXPECT_EQ(textLines(bench.dayFile()), QStringList({kOneTwoThree}));
    EXPECT_TRUE(bench.partFiles().isEmpty());
}

TEST(InboxRetrieval, APartThatCannotBeWrittenStaysInThePhone) {
    PollBench bench;
    test::FailingFileSystem files;
    files.failAppendsTo = QStringLiteral(".tmp");
    receive::InboxRetrieval inbox(files);
    load(bench, "me-three-parts-3-1-2.txt", nullptr);
    poll(inbox, bench);
    EXPECT_TRUE(bench.phone.deletes().isEmpty());
    EXPECT_EQ(textLines(bench.logFile()).size(), 3);
}

}  // namespace
