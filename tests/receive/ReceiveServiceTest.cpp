// The service against the simulated modem, one poll per run (telvaned --once): what ends up in
// the receive folder, in Log.txt and in Telvane.ini, and what the modem still holds.
#include <gtest/gtest.h>

#include <QDate>
#include <QDeadlineTimer>

#include "ReceiveTestSupport.h"
#include "ServiceProcess.h"
#include "SimulatedModem.h"

using namespace telvane::test;

namespace {

/// A home folder whose Telvane.ini names the modem's port.
struct Home {
    void useModem(const SimulatedModem& modem, const QByteArray& ini = {}) {
        QFile file(path(QStringLiteral("Telvane.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write("[Options]\r\nComPort=" + modem.linkPath().toUtf8() + "\r\nPeriod=10\r\n" +
                       ini);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString dayFile() const {
        return path("Receive/" + QDate::currentDate().toString(u"yy-MM-dd") + ".txt");
    }
    QByteArray ini() const { return readFile(path(QStringLiteral("Telvane.ini"))); }
    /// One poll; its status texts.
    QStringList poll() const {
        ServiceProcess service(dir.path());
        EXPECT_EQ(service.run({QStringLiteral("--once")}), 0) << service.errors().toStdString();
        return service.statuses();
    }
    QTemporaryDir dir;
};

class ReceiveService : public testing::TestWithParam<Scenario> {};

TEST_P(ReceiveService, AgainstTheSimulatedModem) {
    const Scenario& s = GetParam();
    Home home;
    QStringList statuses;
    std::optional<LinksOutside> links;  // through the checks at the end
    for (size_t i = 0; i < s.polls.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "poll " << i);
        const auto& p = s.polls[i];
        const auto me = listedPdus(field(p, "me", "me-empty.txt").toLatin1().constData());
        const auto sm = listedPdus(field(p, "sm", "me-empty.txt").toLatin1().constData());
        SimulatedModemOptions options;
        for (const auto& [index, pdu] : me) options.me << pdu;
        for (const auto& [index, pdu] : sm) options.sm << pdu;
        for (const char* fault : {"no-me", "no-sm"})
            if (has(p, fault)) options.faults << QString::fromLatin1(fault);
        SimulatedModem modem(options);
        ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
        home.useModem(modem, s.ini());
        ASSERT_TRUE(blockFolder(home.path(QStringLiteral("Receive/")), has(p, "receive-blocked")));
        links.emplace(p, home.dayFile(), home.path(QStringLiteral("Logs/Log.txt")));
        statuses = home.poll();
        // What the modem holds, named by the indexes of the list answers it was loaded from.
        QStringList left;
        for (const auto& [name, memory, pdus] :
             {std::tuple("ME", ModemMemory::Me, me), std::tuple("SM", ModemMemory::Sm, sm)})
            for (const StoredPdu& held : modem.list(memory).value_or(QList<StoredPdu>()))
                for (const auto& [index, pdu] : pdus)
                    if (pdu == held.pdu) left << name + QString::number(index);
        EXPECT_EQ(left, field(p, "left").split(u',', Qt::SkipEmptyParts));
        EXPECT_EQ(partLines(home.dir.path()), field(p, "parts", "0").toInt());
    }
    EXPECT_EQ(textLines(home.dayFile()), s.all("line"));
    const QString number = s.one("number", "1");
    EXPECT_EQ(home.ini().contains("Number="), number != QLatin1String("1"))
        << home.ini().toStdString();
    EXPECT_TRUE(number == QLatin1String("1") ||
                home.ini().contains("Number=" + number.toLatin1() + "\r\n"));
    EXPECT_EQ(
        statuses.filter(QRegularExpression(QStringLiteral("^Принято сообщений: \\d+$"))).size(),
        s.keys.contains(QStringLiteral("unclosed")) ? 0 : 1);
    if (const QString closing = s.one("closing"); !closing.isEmpty())
        EXPECT_TRUE(statuses.contains(closing)) << closing.toStdString();
    const QStringList log = textLines(home.path(QStringLiteral("Logs/Log.txt")));
    EXPECT_EQ(log.size(), s.one("log", "0").section(u' ', 0, 0).toInt());
    const QString tail = s.one("log").section(u' ', 1).replace(
        QLatin1String("%1"), QDate::currentDate().toString(QStringLiteral("yy-MM-dd")));
    for (const QString& line : log) EXPECT_TRUE(line.endsWith(tail)) << line.toStdString();
}

std::vector<Scenario> endToEnd() {
    std::vector<Scenario> scenarios = readScenarios();
    std::erase_if(scenarios,
                  [](const Scenario& s) { return !s.keys.contains(QStringLiteral("e2e")); });
    return scenarios;
}

INSTANTIATE_TEST_SUITE_P(Receive, ReceiveService, testing::ValuesIn(endToEnd()), scenarioName);

TEST(ReceiveServiceKill, BetweenTheStoreAndTheDeleteLosesNothingAndStoresNothingTwice) {
    const auto pdus = listedPdus("me-two-messages.txt");
    const QStringList both = {pdus.at(1), pdus.at(2)};
    const QString how = QStringLiteral("26.08.02 19:37:41\t+31641600986\tHow are you?");
    Home home;
    QStringList left;
    {
        // The modem never answers AT+CMGD: the service stores the first message, then waits.
        SimulatedModem modem({both, {}, {QStringLiteral("mute-delete")}, {}});
        ASSERT_TRUE(modem.start());
        home.useModem(modem);
        {
            ServiceProcess service(home.dir.path());
            service.start({QStringLiteral("--once")});
            // The store is complete once the journal holds it too; the delete then hangs.
            // Waiting for a status that never comes reads the output 50 ms at a time.
            QDeadlineTimer deadline(30000);
            while ((textLines(home.dayFile()).isEmpty() ||
                    readFile(home.path(QStringLiteral("received.journal"))).isEmpty()) &&
                   !deadline.hasExpired())
                service.waitForStatus(QStringLiteral("-"), 0, 50);
            ASSERT_EQ(textLines(home.dayFile()), QStringList({how}));
        }  // ~ServiceProcess kills the service (SIGKILL)
        for (const StoredPdu& held : modem.list(ModemMemory::Me).value_or(QList<StoredPdu>()))
            left << held.pdu;
    }
    EXPECT_EQ(left, both);

    // The same messages in a healthy phone, the same home folder.
    SimulatedModem modem({left, {}, {}, {}});
    ASSERT_TRUE(modem.start());
    home.useModem(modem);
    home.poll();
    EXPECT_EQ(textLines(home.dayFile()),
              QStringList({how, QStringLiteral("01.01.11 12:34:56\t+18005551212\thellohello")}));
    EXPECT_TRUE(modem.list(ModemMemory::Me).value_or(QList<StoredPdu>({{}})).isEmpty());
}

}  // namespace
