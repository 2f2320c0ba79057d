// Retrieval runs driven by retrieval-scenarios.txt (its header gives the keys): each scenario
// against the fake phone loaded with captured list answers, and those marked e2e also through
// telvaned --once against the simulated modem. What reaches the day's file, the part files and
// Log.txt, and what stays in the phone, poll after poll.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#include "office/Biff8.h"
#include "office/CompoundFile.h"
#include "receive/InboxRetrieval.h"
#include "receive/ListAnswer.h"
#include "receive/MessageFiles.h"
#include "support/FakePoll.h"

using namespace telvane;
using namespace telvane::test;

namespace {

using Poll = std::map<QString, QString>;

struct Scenario {
    std::string name;
    std::map<QString, QStringList> keys;
    std::vector<Poll> polls;

    QStringList all(const char* key) const {
        const auto it = keys.find(QLatin1String(key));
        return it == keys.end() ? QStringList() : it->second;
    }
    QString one(const char* key, const char* otherwise = "") const {
        return all(key).value(0, QLatin1String(otherwise));
    }
    friend void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }
};

QString field(const Poll& poll, const char* key, const char* otherwise = "") {
    const auto it = poll.find(QLatin1String(key));
    return it == poll.end() ? QLatin1String(otherwise) : it->second;
}

bool has(const Poll& poll, const char* fault) {
    return field(poll, "faults").split(u',').contains(QLatin1String(fault));
}

std::vector<Scenario> readScenarios(bool endToEndOnly) {
    std::vector<Scenario> scenarios;
    for (const QString& line : dataLines("receive/retrieval-scenarios.txt")) {
        const QString key = line.section(u' ', 0, 0), value = line.section(u' ', 1);
        if (key == u"scenario") {
            scenarios.push_back({value.toStdString(), {}, {}});
        } else if (key == u"poll") {
            Poll& poll = scenarios.back().polls.emplace_back();
            for (const QString& f : value.split(u' ', Qt::SkipEmptyParts))
                poll[f.section(u'=', 0, 0)] = f.section(u'=', 1);
        } else {
            scenarios.back().keys[key] << value;
        }
    }
    std::erase_if(scenarios, [endToEndOnly](const Scenario& s) {
        return endToEndOnly ? !s.keys.contains("e2e") : s.keys.contains("e2e-only");
    });
    return scenarios;
}

std::string scenarioName(const testing::TestParamInfo<Scenario>& info) {
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9]+"));
    return QString::fromStdString(info.param.name).replace(other, "_").toStdString();
}

QByteArray receiveData(const QString& name) { return readFile(dataPath("receive/" + name)); }

/// The PDU lines of a list answer file, by index.
std::map<int, QString> listedPdus(const QString& file) {
    std::map<int, QString> pdus;
    for (const auto& entry : receive::parseListAnswer(receiveData(file).toStdString()).entries)
        pdus[int(entry.index)] = QString::fromStdString(entry.pdu);
    return pdus;
}

/// The parts held in the part files of a folder.
qsizetype partLines(const QString& folder) {
    qsizetype lines = 0;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.tmp")}, QDir::Files))
        lines += readFile(folder + u'/' + name).count("\r\n");
    return lines;
}

/// A day's workbook as its cells, row by row, then its selected cell; a document as it stands.
QByteArray dayFileView(const QString& path) {
    const QByteArray bytes = readFile(path);
    if (!path.endsWith(QStringLiteral(".xls"))) return bytes;
    const auto container = office::readCompoundFile(bytes);
    QByteArray stream;
    for (const auto& entry : container.streams.value_or(office::Streams()))
        if (entry.path == u"Workbook") stream = entry.data;
    const auto workbook = office::readBiff8(stream).workbook;
    if (!workbook) return "unreadable: " + bytes.left(40);
    const office::Sheet& sheet = workbook->sheets.front();
    QStringList rows;
    for (const auto& [at, cell] : sheet.cells) {
        if (rows.size() <= qsizetype(at.row)) rows.resize(at.row + 1);
        rows[at.row] +=
            (at.column ? QStringLiteral("\t") : QString()) +
            (cell.kind == office::Cell::Kind::Text ? cell.text : QString::number(cell.number));
    }
    rows << QStringLiteral("selected %1 %2").arg(sheet.activeCell.row).arg(sheet.activeCell.column);
    return (rows.join(u'\n') + u'\n').toUtf8();
}

/// A plain file where a folder should be: nothing can be written under it.
bool blockFolder(const QString& folder, bool blocked) {
    QFile file(folder.chopped(1));
    return blocked ? file.open(QIODevice::WriteOnly) : (!QFileInfo(file).isFile() || file.remove());
}

/// The faults day-linked and log-linked: the day's file or Log.txt is a symbolic link to a file
/// outside the home, whose one line must stay as it is.
struct LinksOutside {
    static constexpr char kLine[] = "01.01.2000\t00:00:00\toutside\r\n";
    LinksOutside(const Poll& poll, const QString& dayFile, const QString& logFile) {
        EXPECT_TRUE(writeFile(target(), kLine));
        for (const auto& [fault, path] :
             {std::pair("day-linked", dayFile), {"log-linked", logFile}})
            if (has(poll, fault)) {
                EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()) && QFile::link(target(), path));
            }
    }
    ~LinksOutside() { EXPECT_EQ(readFile(target()), kLine); }
    QString target() const { return dir.filePath(QStringLiteral("outside.txt")); }
    QTemporaryDir dir;
};

/// What every run of a scenario must leave, scripted or end to end.
void expectOutcome(const Scenario& s, const Home& home, const QDate& day,
                   const QStringList& statuses, int number, bool endToEnd = false) {
    const QString date = day.toString(u"yy-MM-dd");
    const auto dayPath = [&](QString name) {
        return home.path("Receive/" + name.replace("%1", date));
    };
    const bool utf8 = s.one("ini").contains(QStringLiteral("Encoding=utf-8"));
    if (!s.keys.contains("view")) {
        EXPECT_EQ(textLines(dayPath("%1.txt"), utf8), s.all("line"));
    }
    for (const QString& view : s.all("view")) {
        EXPECT_EQ(dayFileView(dayPath(view.section(u' ', 0, -2))).toStdString(),
                  receiveData(view.section(u' ', -1)).toStdString());
    }
    EXPECT_EQ(number, s.one("number", "1").toInt());
    const QByteArray ini = home.read("Telvane.ini");
    EXPECT_EQ(ini.contains("Number="), number != 1);
    EXPECT_TRUE(number == 1 || ini.contains("Number=" + QByteArray::number(number) + "\r\n"));
    static const QRegularExpression closing(QStringLiteral("^Принято сообщений: \\d+$"));
    EXPECT_EQ(statuses.filter(closing).size(), s.keys.contains("unclosed") ? 0 : 1);
    if (s.keys.contains("closing")) {
        EXPECT_TRUE(statuses.contains(s.one("closing")));
    }
    const QStringList log = textLines(home.path("Logs/Log.txt"), utf8);
    if (endToEnd && s.keys.contains("e2e-log")) {
        EXPECT_EQ(home.log(), s.all("e2e-log"));
        return;
    }
    EXPECT_EQ(log.size(), s.one("log", "0").section(u' ', 0, 0).toInt());
    const QString tail = s.one("log").section(u' ', 1).replace("%1", date);
    for (const QString& line : log) EXPECT_TRUE(line.endsWith(tail)) << line.toStdString();
    for (const QString& expected : s.all("log-line"))
        EXPECT_TRUE(log.value(expected.section(u' ', 0, 0).toInt() - 1)
                        .contains(expected.section(u' ', 1).replace("%1", date)))
            << expected.toStdString() << " in\n"
            << log.join(u'\n').toStdString();
}

class Retrieval : public testing::TestWithParam<Scenario> {};

TEST_P(Retrieval, AgainstTheFakePhone) {
    const Scenario& s = GetParam();
    FakePoll bench(cp1251(s.one("ini").replace("\\r\\n", "\r\n")));
    if (s.keys.contains("held-autoscroll"))
        bench.working.autoScroll = s.one("held-autoscroll") == u"1";
    std::unique_ptr<receive::InboxRetrieval> inbox;
    QStringList atDelete;
    const auto dayFile = [&] {
        return bench.working.receiveFolder +
               receive::DayFileName(bench.clock.now().date(), bench.working.dayFile);
    };
    bench.phone.onDelete = [&] {
        // Whatever leaves the phone is on disk already, in the day's file or a part file.
        const qsizetype lines = textLines(dayFile()).size();
        EXPECT_TRUE(lines > 0 || QFile::exists(dayFile()) || partLines(bench.dir.path()) > 0);
        atDelete << QString::number(lines) + u' ' + bench.settings.text(config::setting::Number);
    };
    std::optional<LinksOutside> links;  // through the checks at the end
    for (size_t i = 0; i < s.polls.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "poll " << i);
        const Poll& p = s.polls[i];
        bench.phone.memories["ME"] = {
            !has(p, "no-me"), !has(p, "no-list"), receiveData(field(p, "me", "me-empty.txt")), {}};
        bench.phone.memories["SM"] = {
            !has(p, "no-sm"), true, receiveData(field(p, "sm", "me-empty.txt")), {}};
        bench.phone.deletesWork = !has(p, "deletes-fail");
        ASSERT_TRUE(blockFolder(bench.working.receiveFolder, has(p, "receive-blocked")));
        bench.files = {};
        if (has(p, "logs-blocked")) bench.files.fail(FailingFileSystem::Call::Append, "Log.txt");
        if (has(p, "part-blocked")) bench.files.fail(FailingFileSystem::Call::Append, ".tmp");
        bench.files.bytesLeft = field(p, "full", "-1").toLongLong();
        bench.clock.laterSeconds = field(p, "later", "0").toInt();
        bench.clock.wall = QDateTime::fromString(field(p, "at"), Qt::ISODate);
        const QString obstacle = field(p, "obstacle")
                                     .section(u':', 0, 0)
                                     .replace("%1", bench.clock.now().date().toString(u"yy-MM-dd"));
        const QByteArray put =
            field(p, "obstacle").contains(u':')
                ? readFile(dataPath("office/" + field(p, "obstacle").section(u':', 1)))
                      .replace("%h", QSysInfo::machineHostName().toUtf8())
                : QByteArray(",user,elsewhere,07.12.2026 06:40,file:///home/user/.config/lo;");
        ASSERT_TRUE(obstacle.isEmpty() || (QDir().mkpath(bench.working.receiveFolder) &&
                                           writeFile(bench.working.receiveFolder + obstacle, put)));
        bench.phone.log.clear();
        bench.status = {};
        atDelete.clear();
        links.emplace(p, dayFile(), bench.working.logFolder + "Log.txt");
        if (!inbox || has(p, "restart"))
            inbox = std::make_unique<receive::InboxRetrieval>(bench.files);
        auto context = bench.context();
        inbox->RetrieveInbox(context);
        EXPECT_EQ(bench.phone.left(), field(p, "left").split(u',', Qt::SkipEmptyParts));
        EXPECT_EQ(partLines(bench.dir.path()), field(p, "parts", "0").toInt());
        if (!obstacle.isEmpty()) {
            EXPECT_EQ(readFile(bench.working.receiveFolder + obstacle), put);
            ASSERT_TRUE(QFile::remove(bench.working.receiveFolder + obstacle));
        }
    }
    expectOutcome(s, bench, bench.clock.now().date(), bench.status.texts, bench.working.nextNumber);
    const auto check = [&](const char* key, const QStringList& got) {
        if (s.keys.contains(key)) {
            EXPECT_EQ(got, s.all(key)) << key;
        }
    };
    check("sent", bench.phone.log);
    check("status", bench.status.texts);
    QStringList icons;
    for (int icon : bench.status.icons) icons << QString::number(icon);
    check("icons", {icons.join(u' ')});
    check("at-delete", atDelete);
    check("paused", {QString::number(bench.clock.ms)});
}

INSTANTIATE_TEST_SUITE_P(InboxRetrieval, Retrieval, testing::ValuesIn(readScenarios(false)),
                         scenarioName);

class ReceiveService : public testing::TestWithParam<Scenario> {};

TEST_P(ReceiveService, AgainstTheSimulatedModem) {
    const Scenario& s = GetParam();
    Home home;
    QStringList statuses;
    std::optional<LinksOutside> links;  // through the checks at the end
    for (size_t i = 0; i < s.polls.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "poll " << i);
        const Poll& p = s.polls[i];
        const auto me = listedPdus(field(p, "me", "me-empty.txt"));
        const auto sm = listedPdus(field(p, "sm", "me-empty.txt"));
        SimulatedModemOptions options;
        for (const auto& [index, pdu] : me) options.me << pdu;
        for (const auto& [index, pdu] : sm) options.sm << pdu;
        for (const char* fault : {"no-me", "no-sm"})
            if (has(p, fault)) options.faults << QString::fromLatin1(fault);
        options.extraArgs = field(p, "modem").split(u';', Qt::SkipEmptyParts);
        SimulatedModem modem(options);
        ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
        // Messages from the network before the gateway starts: stored, or held for the host.
        const QString to = field(p, "deliver").section(u':', 0, 0);
        const auto delivered = listedPdus(field(p, "deliver", ":me-empty.txt").section(u':', 1));
        for (const auto& [index, pdu] : delivered)
            ASSERT_TRUE(modem.control("deliver " + to + u' ' + pdu).value_or("").startsWith("OK"))
                << modem.errorString().toStdString();
        ASSERT_TRUE(home.useModem(modem, cp1251(s.one("ini").replace("\\r\\n", "\r\n")),
                                  s.keys.contains("standard") ? Pacing::Standard : Pacing::Fast));
        ASSERT_TRUE(blockFolder(home.path("Receive/"), has(p, "receive-blocked")));
        links.emplace(p, home.dayFile(), home.path("Logs/Log.txt"));
        QString errors;
        EXPECT_EQ(home.runOnce(&statuses, &errors), 0) << errors.toStdString();
        // What the modem holds, named by the indexes of the list answers it was loaded from.
        QStringList left;
        for (const auto& [name, memory, pdus] :
             {std::tuple("ME", ModemMemory::Me, me), std::tuple("SM", ModemMemory::Sm, sm),
              std::tuple("SR", ModemMemory::Sr, delivered)})
            for (const StoredPdu& held : modem.list(memory).value_or(QList<StoredPdu>()))
                for (const auto& [index, pdu] : pdus)
                    if (pdu == held.pdu) left << name + QString::number(index);
        EXPECT_EQ(left, field(p, "left").split(u',', Qt::SkipEmptyParts));
        EXPECT_EQ(partLines(home.dir.path()), field(p, "parts", "0").toInt());
    }
    const QByteArray ini = home.read("Telvane.ini");
    const qsizetype at = ini.indexOf("Number=");
    expectOutcome(s, home, QDate::currentDate(), statuses,
                  at < 0 ? 1 : ini.mid(at + 7, ini.indexOf('\r', at) - at - 7).toInt(), true);
}

INSTANTIATE_TEST_SUITE_P(Receive, ReceiveService, testing::ValuesIn(readScenarios(true)),
                         scenarioName);

// SIGKILL at each step of storing a received message: before its line reaches the day file,
// with its line there and the store not yet told, and once both have it but before the delete.
// After a restart the day file and the store agree: each message in the day file once, in the
// inbox once, and nothing left in the phone.
TEST(ReceiveServiceKill, AtAnyStepTheDayFileAndTheStoreAgreeAfterARestart) {
    const auto pdus = listedPdus("me-two-messages.txt");
    const QStringList both = {pdus.at(1), pdus.at(2)};
    const QStringList lines = {QStringLiteral("26.08.02 19:37:41\t+31641600986\tHow are you?"),
                               QStringLiteral("01.01.11 12:34:56\t+18005551212\thellohello")};
    const QString strace = QStandardPaths::findExecutable("strace");
    const struct {
        const char* step;
        const char* inject;  ///< strace's, on the day file; none: the modem never answers AT+CMGD
    } rows[] = {
        {"before its line is in the day file", "pwrite64:error=EIO:signal=KILL"},
        {"its line in the day file, the store not yet told", "fsync:signal=KILL"},
        {"in both, before the delete", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        if (row.inject && strace.isEmpty()) GTEST_SKIP() << "strace is not installed";
        Home home;
        QStringList left;
        {
            SimulatedModem modem(
                {both, {}, row.inject ? QStringList() : QStringList{"mute-delete"}, {}});
            ASSERT_TRUE(modem.start());
            home.useModem(modem);
            if (row.inject) {
                QProcess traced;
                const QString call = QString::fromLatin1(row.inject).section(u':', 0, 0);
                traced.start(
                    strace, {"-f", "-qq", "-o", "/dev/null", "-P", home.dayFile(), "-e",
                             "trace=" + call, "-e", QStringLiteral("inject=") + row.inject,
                             QStringLiteral(TELVANED_BINARY), "--home", home.dir.path(), "--once"});
                ASSERT_TRUE(traced.waitForFinished(60000));
            } else {
                ServiceProcess service(home.dir.path());
                service.start({QStringLiteral("--once")});
                // The store is complete once the inbox lists it too; the delete then hangs.
                const auto inStore = [&] {
                    const auto store = store::SqliteStore::open(home.path("telvane.db"));
                    return store && !store.value()->inbox(0, 1).value().messages.isEmpty();
                };
                QDeadlineTimer deadline(30000);
                while ((textLines(home.dayFile()).isEmpty() || !inStore()) &&
                       !deadline.hasExpired())
                    service.waitForStatus(QStringLiteral("-"), 0, 50);
                ASSERT_EQ(textLines(home.dayFile()), lines.mid(0, 1));
            }  // ~ServiceProcess kills the service (SIGKILL)
            for (const StoredPdu& held : modem.list(ModemMemory::Me).value_or(QList<StoredPdu>()))
                left << held.pdu;
        }
        EXPECT_EQ(left, both) << "a message left the phone before the restart";

        // The same messages in a healthy phone, the same home folder.
        SimulatedModem modem({left, {}, {}, {}});
        ASSERT_TRUE(modem.start());
        home.useModem(modem);
        EXPECT_EQ(home.runOnce(), 0);
        EXPECT_EQ(textLines(home.dayFile()), lines);
        QStringList inbox;
        const auto store = store::SqliteStore::open(home.path("telvane.db"));
        for (const store::IncomingMessage& m : store.value()->inbox(0, 10).value().messages)
            inbox << m.text;
        EXPECT_EQ(inbox, QStringList({"How are you?", "hellohello"}));
        EXPECT_TRUE(modem.list(ModemMemory::Me).value_or(QList<StoredPdu>({{}})).isEmpty());
    }
}

}  // namespace
