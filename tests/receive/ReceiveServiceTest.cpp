// The service against the simulated modem, one poll per run (telvaned --once): what ends up in
// the receive folder, in Log.txt and in Telvane.ini, and what the modem still holds.
#include <gtest/gtest.h>

#include <QDate>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "ReceiveTestSupport.h"
#include "ServiceProcess.h"
#include "SimulatedModem.h"

using telvane::test::ModemMemory;
using telvane::test::readFile;
using telvane::test::ServiceProcess;
using telvane::test::SimulatedModem;
using telvane::test::SimulatedModemOptions;
using telvane::test::textLines;

namespace {

const QString kHowPdu = QStringLiteral(
    "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07");
const QString kHelloHelloPdu =
    QStringLiteral("07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37");
const QString kHelloPdu =
    QStringLiteral("07912143658709F1040B912143658709F100006221501270032105C8329BFD06");
const QString kReportPdu =
    QStringLiteral("07912143658709F1062A0B912143658709F1622150127003216221501270032100");

const QString kHow = QStringLiteral("26.08.02 19:37:41\t+31641600986\tHow are you?");
const QString kHelloHello = QStringLiteral("01.01.11 12:34:56\t+18005551212\thellohello");
const QString kHello = QStringLiteral("05.12.26 21:07:30\t+12345678901\tHello");

// Parts 1, 2, 3 of one message from +79161234567 (tests/data/receive/long-message-parts.txt).
QStringList longMessageParts() {
    QStringList parts;
    for (const QByteArray& line : readFile(QStringLiteral(TELVANE_TEST_DATA "/receive/long-message-parts.txt")).split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#')) parts << QString::fromLatin1(line);
    }
    return parts.mid(0, 3);
}

QString longMessageLine() {
    return QStringLiteral("15.03.24 10:20:30\t+79161234567\t") +
           QStringLiteral("one ").repeated(39).left(153) +
           QStringLiteral("two ").repeated(39).left(153) + QStringLiteral("three, the end");
}

class Home {
public:
    explicit Home(const QString& port, const QByteArray& extra = {}) {
        QFile ini(m_dir.filePath(QStringLiteral("Telvane.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[Options]\r\nComPort=" + port.toUtf8() + "\r\nPeriod=10\r\n" + extra);
    }
    QString path() const { return m_dir.path(); }
    QString dayFile() const {
        return m_dir.filePath(QStringLiteral("Receive/") +
                              QDate::currentDate().toString(QStringLiteral("yy-MM-dd")) +
                              QStringLiteral(".txt"));
    }
    QString logFile() const { return m_dir.filePath(QStringLiteral("Logs/Log.txt")); }
    QByteArray ini() const { return readFile(m_dir.filePath(QStringLiteral("Telvane.ini"))); }
    QStringList partFiles() const {
        return QDir(m_dir.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files);
    }

private:
    QTemporaryDir m_dir;
};

int pollOnce(const Home& home) {
    ServiceProcess service(home.path());
    return service.run({QStringLiteral("--once")});
}

QStringList held(SimulatedModem& modem, ModemMemory memory) {
    QStringList pdus;
    if (const auto list = modem.list(memory))
        for (const auto& entry : *list) pdus << entry.pdu;
    return pdus;
}

TEST(ReceiveService, StoresInListOrderDeletesAndCounts) {
    SimulatedModemOptions options;
    options.me = {kHowPdu, kHelloHelloPdu};
    options.sm = {kHelloPdu};
    SimulatedModem modem(options);
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    Home home(modem.linkPath());
    ServiceProcess service(home.path());
    ASSERT_EQ(service.run({QStringLiteral("--once")}), 0) << service.errors().toStdString();
    EXPECT_EQ(textLines(home.dayFile()), QStringList({kHow, kHelloHello, kHello}));
    EXPECT_TRUE(held(modem, ModemMemory::Me).isEmpty());
    EXPECT_TRUE(held(modem, ModemMemory::Sm).isEmpty());
    EXPECT_TRUE(home.ini().contains("Number=4\r\n")) << home.ini().toStdString();
    EXPECT_TRUE(service.statuses().contains(QStringLiteral("Принято сообщений: 3")));
    EXPECT_FALSE(QFile::exists(home.logFile()));
}

TEST(ReceiveService, JoinsALongMessageDeliveredOutOfOrderAndOverTwoPolls) {
    const QStringList parts = longMessageParts();
    ASSERT_EQ(parts.size(), 3);
    {
        SimulatedModemOptions options;
        options.me = {parts[2], parts[0], parts[1]};
        SimulatedModem modem(options);
        ASSERT_TRUE(modem.start());
        Home home(modem.linkPath());
        ASSERT_EQ(pollOnce(home), 0);
        EXPECT_EQ(textLines(home.dayFile()), QStringList({longMessageLine()}));
        EXPECT_TRUE(held(modem, ModemMemory::Me).isEmpty());
        EXPECT_TRUE(home.partFiles().isEmpty());
    }
    {
        SimulatedModemOptions options;
        options.me = {parts[1], parts[0]};
        SimulatedModem modem(options);
        ASSERT_TRUE(modem.start());
        Home home(modem.linkPath());
        ASSERT_EQ(pollOnce(home), 0);
        EXPECT_FALSE(QFile::exists(home.dayFile()));
        EXPECT_EQ(home.partFiles(), QStringList({QStringLiteral("5A-3-79161234567.tmp")}));
        ASSERT_TRUE(modem.deliver(ModemMemory::Sm, parts[2]));
        ASSERT_EQ(pollOnce(home), 0);
        EXPECT_EQ(textLines(home.dayFile()), QStringList({longMessageLine()}));
        EXPECT_TRUE(home.partFiles().isEmpty());
        EXPECT_TRUE(held(modem, ModemMemory::Sm).isEmpty());
    }
}

TEST(ReceiveService, AStatusReportIsStoredAsItsSentence) {
    SimulatedModemOptions options;
    options.sm = {kReportPdu};
    SimulatedModem modem(options);
    ASSERT_TRUE(modem.start());
    Home home(modem.linkPath());
    ASSERT_EQ(pollOnce(home), 0);
    EXPECT_EQ(textLines(home.dayFile()),
              QStringList({QStringLiteral("05.12.26 21:07:30\t+12345678901\tОтчет о доставке: "
                                          "Доставлено +12345678901")}));
}

TEST(ReceiveService, AMemoryThatCannotBeSelected) {
    struct Case {
        const char* fault;
        QStringList stored;
        bool meEmptied, smEmptied, finalStatus;
    };
    const Case cases[] = {
        {"no-me", {kHello}, false, true, true},
        // Without the SIM the run ends after the phone memory, without its closing status.
        {"no-sm", {kHow}, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        SimulatedModemOptions options;
        options.faults = {QString::fromLatin1(c.fault)};
        if (QByteArray(c.fault) != "no-me") options.me = {kHowPdu};
        if (QByteArray(c.fault) != "no-sm") options.sm = {kHelloPdu};
        SimulatedModem modem(options);
        ASSERT_TRUE(modem.start());
        Home home(modem.linkPath());
        ServiceProcess service(home.path());
        ASSERT_EQ(service.run({QStringLiteral("--once")}), 0);
        EXPECT_EQ(textLines(home.dayFile()), c.stored);
        EXPECT_EQ(service.statuses().contains(QStringLiteral("Принято сообщений: 1")), c.finalStatus);
    }
}

TEST(ReceiveService, AnUnwritableReceiveFolderKeepsEveryMessageInThePhone) {
    SimulatedModemOptions options;
    options.me = {kHowPdu, kHelloHelloPdu};
    options.sm = {kHelloPdu};
    SimulatedModem modem(options);
    ASSERT_TRUE(modem.start());
    Home home(modem.linkPath());
    // A file where the receive folder should be.
    QFile blocker(home.path() + QStringLiteral("/Receive"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ASSERT_EQ(pollOnce(home), 0);
    ASSERT_EQ(pollOnce(home), 0);
    EXPECT_EQ(held(modem, ModemMemory::Me), QStringList({kHowPdu, kHelloHelloPdu}));
    EXPECT_EQ(held(modem, ModemMemory::Sm), QStringList({kHelloPdu}));
    const QStringList log = textLines(home.logFile());
    ASSERT_EQ(log.size(), 6);
    for (const QString& line : log)
        EXPECT_TRUE(line.endsWith(QStringLiteral("\tОшибка записи сообщения в файл: ") +
                                  QFileInfo(home.dayFile()).fileName()));
    EXPECT_FALSE(home.ini().contains("Number="));
}

TEST(ReceiveService, AKillBetweenTheStoreAndTheDeleteLosesNothingAndStoresNothingTwice) {
    QStringList left;
    Home* homePtr = nullptr;
    std::unique_ptr<Home> home;
    {
        // The modem never answers AT+CMGD: the service stores the first message, then waits.
        SimulatedModemOptions options;
        options.me = {kHowPdu, kHelloHelloPdu};
        options.faults = {QStringLiteral("mute-delete")};
        SimulatedModem modem(options);
        ASSERT_TRUE(modem.start());
        home = std::make_unique<Home>(modem.linkPath());
        homePtr = home.get();
        QProcess service;
        service.start(QStringLiteral(TELVANED_BINARY),
                      {QStringLiteral("--home"), home->path(), QStringLiteral("--once")});
        ASSERT_TRUE(service.waitForStarted(5000));
        // The store is complete once the journal holds it too; the delete then hangs.
        const QString journal = home->path() + QStringLiteral("/received.journal");
        QDeadlineTimer deadline(30000);
        while ((textLines(home->dayFile()).isEmpty() || readFile(journal).isEmpty()) &&
               !deadline.hasExpired() && service.state() == QProcess::Running) {
            service.waitForReadyRead(50);
        }
        ASSERT_EQ(textLines(home->dayFile()), QStringList({kHow}));
        service.kill();  // SIGKILL
        ASSERT_TRUE(service.waitForFinished(5000));
        left = held(modem, ModemMemory::Me);
    }
    EXPECT_EQ(left, QStringList({kHowPdu, kHelloHelloPdu}));

    // The same messages in a healthy phone, the same home folder.
    SimulatedModemOptions options;
    options.me = left;
    SimulatedModem modem(options);
    ASSERT_TRUE(modem.start());
    QFile ini(homePtr->path() + QStringLiteral("/Telvane.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Options]\r\nComPort=" + modem.linkPath().toUtf8() + "\r\nPeriod=10\r\n");
    ini.close();
    ASSERT_EQ(pollOnce(*homePtr), 0);
    EXPECT_EQ(textLines(homePtr->dayFile()), QStringList({kHow, kHelloHello}));
    EXPECT_TRUE(held(modem, ModemMemory::Me).isEmpty());
}

}  // namespace
