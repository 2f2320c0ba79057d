// Received messages as rows of the day's workbook or document, end to end: the service against
// the simulated modem (telvaned --once), and a retrieval run across midnight on a fixed clock.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cctype>

#include "ReceiveTestSupport.h"
#include "ServiceProcess.h"
#include "SimulatedModem.h"
#include "office/Biff8.h"
#include "office/CompoundFile.h"
#include "receive/InboxRetrieval.h"

namespace telvane {
namespace office {
void PrintTo(const CellRef& at, std::ostream* out) {
    *out << "(" << at.row << ", " << at.column << ")";
}
}  // namespace office
namespace {

using test::ModemMemory;
using test::readFile;
using test::SimulatedModem;
using test::SimulatedModemOptions;
using test::textLines;

const QString kHowPdu =
    QStringLiteral("07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07");
const QString kHelloHelloPdu =
    QStringLiteral("07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37");
const QString kHelloPdu =
    QStringLiteral("07912143658709F1040B912143658709F100006221501270032105C8329BFD06");

const QStringList kHow{"26.08.02 19:37:41", "+31641600986", "How are you?"};
const QStringList kHelloHello{"01.01.11 12:34:56", "+18005551212", "hellohello"};
const QStringList kHello{"05.12.26 21:07:30", "+12345678901", "Hello"};

QStringList numbered(int number, const QStringList& record) {
    return QStringList{QString::number(number)} + record;
}

// What a day's file holds, read back without the writers: rows after the header, and for a
// workbook the selected cell.
struct DayFile {
    bool readable = false;
    QList<QStringList> rows;
    office::CellRef selected;
};

DayFile readWorkbook(const QByteArray& bytes) {
    DayFile out;
    const office::CompoundReadResult container = office::readCompoundFile(bytes);
    if (!container.streams) return out;
    for (const auto& [name, stream] : *container.streams) {
        if (name != QStringLiteral("Workbook")) continue;
        const office::BiffReadResult parsed = office::readBiff8(stream);
        if (!parsed.workbook || parsed.workbook->sheets.empty()) return out;
        const office::Sheet& sheet = parsed.workbook->sheets.front();
        for (const auto& [at, cell] : sheet.cells) {
            if (at.row == 0) continue;
            while (out.rows.size() < qsizetype(at.row)) out.rows.append(QStringList());
            out.rows[at.row - 1].append(
                cell.kind == office::Cell::Kind::Text ? cell.text : QString::number(cell.number));
        }
        out.selected = sheet.activeCell;
        out.readable = true;
    }
    return out;
}

// The cell texts of an RTF table, from its first row on: control words are skipped but for
// \cell, \row and \uN, and escaped characters are taken as they stand.
DayFile readDocument(const QByteArray& rtf) {
    DayFile out;
    qsizetype i = rtf.indexOf("\\trowd");
    if (!rtf.startsWith("{\\rtf1") || i < 0) return out;
    QStringList row;
    QString cell;
    while (i < rtf.size()) {
        const char c = rtf[i++];
        if (c == '{' || c == '}' || c == '\r' || c == '\n') continue;
        if (c != '\\') {
            cell += QLatin1Char(c);
            continue;
        }
        if (i < rtf.size() && !std::isalpha(static_cast<unsigned char>(rtf[i]))) {
            cell += QLatin1Char(rtf[i++]);
            continue;
        }
        const qsizetype start = i;
        while (i < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[i]))) ++i;
        const QByteArray word = rtf.mid(start, i - start);
        const qsizetype digitsFrom = i;
        if (i < rtf.size() && rtf[i] == '-') ++i;
        while (i < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[i]))) ++i;
        const int argument = rtf.mid(digitsFrom, i - digitsFrom).toInt();
        if (i < rtf.size() && rtf[i] == ' ') ++i;
        if (word == "cell") {
            row << cell;
            cell.clear();
        } else if (word == "row") {
            out.rows << row;
            row.clear();
        } else if (word == "u") {
            cell += QChar(char16_t(argument));
            if (i < rtf.size() && rtf[i] == '?') ++i;  // the \uc1 fallback character
        }
    }
    if (out.rows.isEmpty()) return out;
    out.rows.removeFirst();  // the header row
    out.readable = true;
    return out;
}

DayFile readDayFile(const QString& path) {
    const QByteArray bytes = readFile(path);
    return path.endsWith(QStringLiteral(".xls")) ? readWorkbook(bytes) : readDocument(bytes);
}

std::string show(const QList<QStringList>& rows) {
    QStringList lines;
    for (const QStringList& row : rows) lines << row.join(QLatin1Char('|'));
    return lines.join(QLatin1Char('\n')).toStdString();
}

// A home folder whose Telvane.ini names the modem's port and the file type.
class Home {
public:
    Home(const QString& port, int fileType, int autoScroll) {
        QFile ini(m_dir.filePath(QStringLiteral("Telvane.ini")));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write(QStringLiteral("[Options]\r\nComPort=%1\r\nPeriod=10\r\n[SMS]\r\nFileType=%2"
                                     "\r\nAutoScroll=%3\r\n")
                          .arg(port)
                          .arg(fileType)
                          .arg(autoScroll)
                          .toUtf8());
        }
        m_dayFileName = QDate::currentDate().toString(QStringLiteral("yy-MM-dd")) +
                        (fileType == 2 ? QStringLiteral(".xls") : QStringLiteral(".doc"));
        QDir(m_dir.path()).mkpath(QStringLiteral("Receive"));
    }
    const QString& dayFileName() const { return m_dayFileName; }
    QString receive(const QString& name) const {
        return m_dir.filePath(QStringLiteral("Receive/") + name);
    }
    QString dayFile() const { return receive(m_dayFileName); }
    QString logFile() const { return m_dir.filePath(QStringLiteral("Logs/Log.txt")); }
    QByteArray ini() const { return readFile(m_dir.filePath(QStringLiteral("Telvane.ini"))); }

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_dayFileName;
};

// One case of a service test: a modem with its messages and a home folder on its port.
struct Station {
    Station(const QStringList& me, int fileType, int autoScroll) {
        SimulatedModemOptions options;
        options.me = me;
        modem = std::make_unique<SimulatedModem>(options);
        if (modem->start()) home = std::make_unique<Home>(modem->linkPath(), fileType, autoScroll);
    }
    std::unique_ptr<SimulatedModem> modem;
    std::unique_ptr<Home> home;  ///< null when the modem did not start
};

// One poll (telvaned --once) of every station, all at the same time: a poll spends its seconds
// in the pauses it makes for the phone.
::testing::AssertionResult pollAll(const std::vector<std::unique_ptr<Station>>& stations) {
    std::vector<std::unique_ptr<test::ServiceProcess>> services;
    for (const auto& station : stations) {
        if (!station->home) {
            return ::testing::AssertionFailure()
                   << "modem: " << station->modem->errorString().toStdString();
        }
        services.push_back(std::make_unique<test::ServiceProcess>(station->home->path()));
        services.back()->start({QStringLiteral("--once")});
    }
    for (size_t i = 0; i < services.size(); ++i) {
        if (!services[i]->waitForExit(60000) || services[i]->exitCode() != 0) {
            return ::testing::AssertionFailure()
                   << "case " << i << ": telvaned --once gave " << services[i]->exitCode() << ": "
                   << services[i]->errors().toStdString();
        }
    }
    return ::testing::AssertionSuccess();
}

QStringList held(SimulatedModem& modem, ModemMemory memory) {
    QStringList pdus;
    if (const auto list = modem.list(memory))
        for (const auto& entry : *list) pdus << entry.pdu;
    return pdus;
}

TEST(OfficeEndToEnd, ThreeMessagesInTwoPollsBecomeThreeNumberedRowsOfOneFile) {
    const struct {
        const char* name;
        int fileType;
        int autoScroll;
        office::CellRef selected;  // workbook only
    } cases[] = {
        {"workbook, AutoScroll 1 selects the newest row", 2, 1, {3, 0}},
        {"workbook, AutoScroll 0 leaves A1 selected", 2, 0, {0, 0}},
        {"document", 1, 0, {}},
    };
    std::vector<std::unique_ptr<Station>> stations;
    for (const auto& c : cases)
        stations.push_back(std::make_unique<Station>(QStringList{kHowPdu, kHelloHelloPdu},
                                                     c.fileType, c.autoScroll));
    ASSERT_TRUE(pollAll(stations));
    for (const auto& station : stations)
        ASSERT_TRUE(station->modem->deliver(ModemMemory::Sm, kHelloPdu));
    ASSERT_TRUE(pollAll(stations));

    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name);
        const Home& home = *stations[i]->home;
        SimulatedModem& modem = *stations[i]->modem;
        const DayFile file = readDayFile(home.dayFile());
        ASSERT_TRUE(file.readable);
        EXPECT_EQ(file.rows, (QList<QStringList>{numbered(1, kHow), numbered(2, kHelloHello),
                                                 numbered(3, kHello)}))
            << show(file.rows);
        if (c.fileType == 2) {
            EXPECT_EQ(file.selected, c.selected);
        }
        EXPECT_EQ(QDir(home.receive({})).entryList(QDir::Files | QDir::Hidden),
                  QStringList{home.dayFileName()});
        EXPECT_TRUE(held(modem, ModemMemory::Me).isEmpty());
        EXPECT_TRUE(held(modem, ModemMemory::Sm).isEmpty());
        EXPECT_TRUE(home.ini().contains("Number=4\r\n")) << home.ini().toStdString();
        EXPECT_FALSE(QFile::exists(home.logFile()));
    }
}

// An office program holding the day's file, or another document under its name: the store
// fails, the messages stay in the phone, each gets its Log.txt line, and once the obstacle is
// gone the next poll stores them.
TEST(OfficeEndToEnd, ALockedOrForeignDayFileKeepsTheMessagesInThePhone) {
    const QByteArray word97 = readFile(QStringLiteral(TELVANE_TEST_DATA "/office/word97.doc"));
    const QByteArray workbook =
        readFile(QStringLiteral(TELVANE_TEST_DATA "/office/ours-3-rows.xls"));
    ASSERT_FALSE(word97.isEmpty());
    ASSERT_FALSE(workbook.isEmpty());
    const struct {
        const char* name;
        int fileType;
        const char* lockPrefix;  // the lock file is this, the day file's name, then lockSuffix
        const char* lockSuffix;
        QByteArray foreign;  // content put under the day file's name
    } cases[] = {
        {"workbook open in LibreOffice", 2, ".~lock.", "#", {}},
        {"document open in Word", 1, "~$", "", {}},
        {"a Word 97 document under the workbook's name", 2, nullptr, nullptr, word97},
        {"a workbook under the document's name", 1, nullptr, nullptr, workbook},
    };
    std::vector<std::unique_ptr<Station>> stations;
    QStringList obstacles;
    QList<QByteArray> contents;
    std::vector<QStringList> before;
    for (const auto& c : cases) {
        stations.push_back(
            std::make_unique<Station>(QStringList{kHowPdu, kHelloHelloPdu}, c.fileType, 1));
        const Home* home = stations.back()->home.get();
        ASSERT_TRUE(home) << stations.back()->modem->errorString().toStdString();
        QString obstacle = home->dayFile();
        QByteArray content = c.foreign;
        if (c.lockPrefix != nullptr) {
            obstacle = home->receive(QString::fromLatin1(c.lockPrefix) + home->dayFileName() +
                                     QString::fromLatin1(c.lockSuffix));
            content = "user,host,1234;";
        }
        QFile file(obstacle);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        obstacles << obstacle;
        contents << content;
        before.push_back(QDir(home->receive({})).entryList(QDir::Files | QDir::Hidden));
    }
    ASSERT_TRUE(pollAll(stations));

    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const Home& home = *stations[i]->home;
        EXPECT_EQ(held(*stations[i]->modem, ModemMemory::Me),
                  QStringList({kHowPdu, kHelloHelloPdu}));
        EXPECT_EQ(QDir(home.receive({})).entryList(QDir::Files | QDir::Hidden), before[i]);
        EXPECT_EQ(readFile(obstacles[i]), contents[i]);
        const QStringList log = textLines(home.logFile());
        EXPECT_EQ(log.size(), 2);
        for (const QString& line : log) {
            EXPECT_TRUE(line.endsWith(QStringLiteral("\tОшибка записи сообщения в файл: ") +
                                      home.dayFileName()))
                << line.toStdString();
        }
        EXPECT_FALSE(home.ini().contains("Number="));
        ASSERT_TRUE(QFile::remove(obstacles[i]));
    }

    ASSERT_TRUE(pollAll(stations));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(readDayFile(stations[i]->home->dayFile()).rows,
                  (QList<QStringList>{numbered(1, kHow), numbered(2, kHelloHello)}));
        EXPECT_TRUE(held(*stations[i]->modem, ModemMemory::Me).isEmpty());
    }
}

struct FixedWallClock final : contracts::WallClock {
    QDateTime now() const override { return at; }
    QDateTime at;
};

// The day's file is named when a run starts; a run after midnight starts the next day's file
// at number 1 and leaves the former one as it was. The workbook follows the AutoScroll value
// the engine holds, not the one in the settings file.
TEST(OfficeEndToEnd, TheFirstMessageAfterMidnightStartsANewFile) {
    const QDate day(2026, 12, 5);
    const struct {
        int fileType;
        qint16 heldAutoScroll;
        const char* iniAutoScroll;
        const char* before;
        const char* after;
        office::CellRef firstSelected, nextSelected;  // workbook only
    } cases[] = {
        {2, 1, "0", "26-12-05.xls", "26-12-06.xls", {2, 0}, {1, 0}},
        {2, 0, "1", "26-12-05.xls", "26-12-06.xls", {0, 0}, {0, 0}},
        {1, 1, "0", "26-12-05.doc", "26-12-06.doc", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        SCOPED_TRACE(c.heldAutoScroll);
        test::PollBench bench(QStringLiteral("[SMS]\r\nFileType=%1\r\nAutoScroll=%2\r\n")
                                  .arg(c.fileType)
                                  .arg(QLatin1String(c.iniAutoScroll))
                                  .toLatin1());
        bench.working.AutoScroll = c.heldAutoScroll;
        FixedWallClock clock;
        contracts::PollContext context{bench.phone, bench.status, bench.working, *bench.settings,
                                       bench.time,  bench.time,   bench.pacing,  clock};
        receive::InboxRetrieval inbox;
        const QByteArray empty = test::readData("me-empty.txt");

        clock.at = QDateTime(day, QTime(23, 59, 59));
        bench.phone.memories["ME"].answer = test::readData("me-two-messages.txt");
        bench.phone.memories["SM"].answer = empty;
        inbox.RetrieveInbox(context);
        const QString before = bench.working.gfsReceive + QString::fromLatin1(c.before);
        const QByteArray beforeBytes = readFile(before);

        clock.at = QDateTime(day.addDays(1), QTime(0, 0));
        bench.phone.memories["ME"].answer = empty;
        bench.phone.memories["SM"].answer = test::readData("sm-one-message.txt");
        inbox.RetrieveInbox(context);

        EXPECT_EQ(readFile(before), beforeBytes);
        const DayFile first = readDayFile(before);
        EXPECT_EQ(first.rows, (QList<QStringList>{numbered(1, kHow), numbered(2, kHelloHello)}))
            << show(first.rows);
        const DayFile next = readDayFile(bench.working.gfsReceive + QString::fromLatin1(c.after));
        EXPECT_EQ(next.rows, QList<QStringList>{numbered(1, kHello)}) << show(next.rows);
        if (c.fileType == 2) {
            EXPECT_EQ(first.selected, c.firstSelected);
            EXPECT_EQ(next.selected, c.nextSelected);
        }
        EXPECT_EQ(
            bench.phone.memories["ME"].deleted.size() + bench.phone.memories["SM"].deleted.size(),
            3);
        EXPECT_EQ(bench.working.gflSMSnum, 4);
    }
}

}  // namespace
}  // namespace telvane
