// The control socket: messages arriving from the network, and the port vanishing and coming back.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <string>

#include "PtyClient.h"
#include "SimulatorData.h"
#include "support/SimulatedModem.h"

namespace telvane::test {
namespace {

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_modem.start()) << m_modem.errorString().toStdString();
        ASSERT_TRUE(m_port.open(m_modem.linkPath().toStdString()));
        ASSERT_EQ(m_port.transact("ATE0\r"), "ATE0\r\r\nOK\r\n");
    }

    SimulatedModem m_modem;
    PtyClient m_port;
};

TEST_F(ControlTest, DeliveredMessagesAppearInTheirMemory) {
    const auto sm = pduLines("sm.txt");
    const auto me = pduLines("me.txt");
    EXPECT_EQ(m_modem.deliver(ModemMemory::Sm, QString::fromStdString(sm[0])), 1);
    EXPECT_EQ(m_modem.deliver(ModemMemory::Sm, QString::fromStdString(sm[1])), 2);
    EXPECT_EQ(m_modem.deliver(ModemMemory::Me, QString::fromStdString(me[0]).toLower()), 1);

    EXPECT_EQ(m_port.transact("AT+CPMS=\"SM\"\r\n"), "\r\n+CPMS: 2,30,1,100,1,100\r\n\r\nOK\r\n");
    EXPECT_EQ(m_port.transact("at+cmgd=1\r"), "\r\nOK\r\n");
    const auto listed = m_modem.list(ModemMemory::Sm);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 1);
    EXPECT_EQ(listed->at(0).index, 2);
    EXPECT_EQ(listed->at(0).stat, 0);
    EXPECT_EQ(listed->at(0).pdu.toStdString(), sm[1]);
    // Stored in upper case, as modems list PDUs.
    const auto inMe = m_modem.list(ModemMemory::Me);
    ASSERT_TRUE(inMe && inMe->size() == 1);
    EXPECT_EQ(inMe->at(0).pdu.toStdString(), me[0]);
    // The freed slot is taken again first.
    EXPECT_EQ(m_modem.deliver(ModemMemory::Sm, QString::fromStdString(sm[0])), 1);
}

TEST_F(ControlTest, AnnouncesDeliveriesWhenAskedTo) {
    ASSERT_EQ(m_port.transact("AT+CNMI=2,1,0,0,0\r"), "\r\nOK\r\n");
    ASSERT_EQ(m_modem.deliver(ModemMemory::Me, QString::fromStdString(pduLines("me.txt")[0])), 1);
    const std::string notice =
        m_port.readUntil([](const std::string& s) { return s.size() > 2 && s.ends_with("\r\n"); },
                         std::chrono::seconds(5));
    EXPECT_EQ(notice, "\r\n+CMTI: \"ME\",1\r\n");
}

TEST_F(ControlTest, RefusesBadRequestsWithAReason) {
    const struct {
        const char* request;
        const char* answerStart;
    } table[] = {
        {"deliver sm 0791", "ERROR first octet: PDU ends inside the SMSC part"},
        {"deliver sm 07919", "ERROR odd number of digits"},
        {"deliver sm 0791ZZ", "ERROR not a hexadecimal digit"},
        {"deliver xx 00", "ERROR usage: deliver me|sm HEX"},
        {"deliver sm", "ERROR usage"},
        {"list", "ERROR usage: list me|sm"},
        {"reboot", "ERROR unknown request"},
        {"", "ERROR empty request"},
    };
    for (const auto& row : table) {
        const auto answer = m_modem.control(QString::fromLatin1(row.request));
        ASSERT_TRUE(answer) << row.request;
        EXPECT_TRUE(answer->startsWith(QLatin1String(row.answerStart)))
            << row.request << " -> " << answer->toStdString();
    }
    EXPECT_EQ(m_port.transact("AT\r"), "\r\nOK\r\n");
}

// The example of --help: a client that closes its sending side right after the request, with or
// without the line end, still gets the answer.
TEST_F(ControlTest, AnswersAClientThatClosedItsSide) {
    if (!QFileInfo(QStringLiteral("/usr/bin/socat")).isExecutable()) {
        GTEST_SKIP() << "socat is not installed (package socat)";
    }
    for (const char* request : {"list me\n", "list sm"}) {
        QProcess socat;
        socat.start(QStringLiteral("/usr/bin/socat"),
                    {QStringLiteral("-"), QStringLiteral("UNIX-CONNECT:") + m_modem.controlPath()});
        socat.write(request);
        socat.closeWriteChannel();
        ASSERT_TRUE(socat.waitForFinished(10000)) << request;
        EXPECT_TRUE(socat.readAllStandardOutput().startsWith("OK")) << request;
    }
}

TEST_F(ControlTest, AFullMemoryTakesNoMore) {
    const QString pdu = QString::fromStdString(pduLines("sm.txt")[0]);
    for (int i = 1; i <= 30; ++i) ASSERT_EQ(m_modem.deliver(ModemMemory::Sm, pdu), i);
    EXPECT_FALSE(m_modem.deliver(ModemMemory::Sm, pdu));
    EXPECT_EQ(m_modem.errorString(), QLatin1String("ERROR memory SM is full"));
}

TEST_F(ControlTest, UnplugTakesThePortAwayAndPlugBringsItBack) {
    ASSERT_TRUE(m_modem.deliver(ModemMemory::Me, QString::fromStdString(pduLines("me.txt")[0])));
    ASSERT_TRUE(m_modem.unplug());
    EXPECT_FALSE(QFileInfo::exists(m_modem.linkPath()));
    EXPECT_FALSE(QFileInfo(m_modem.linkPath()).isSymLink());

    // The open port fails as a pulled USB modem does.
    m_port.write("AT\r");
    m_port.readAnswer(std::chrono::seconds(2));
    EXPECT_TRUE(m_port.lineFailed());
    m_port.close();
    EXPECT_FALSE(m_port.open(m_modem.linkPath().toStdString()));

    ASSERT_TRUE(m_modem.plug()) << m_modem.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(m_modem.linkPath()).isSymLink());
    EXPECT_EQ(QFileInfo(m_modem.linkPath()).symLinkTarget(), m_modem.slavePath());
    ASSERT_TRUE(m_port.open(m_modem.linkPath().toStdString()));
    // The modem kept its settings (echo off) and its memories.
    EXPECT_EQ(m_port.transact("AT+CPMS=\"ME\"\r\n"), "\r\n+CPMS: 1,100,1,100,1,100\r\n\r\nOK\r\n");

    // Plugging twice is harmless.
    EXPECT_TRUE(m_modem.plug());
    EXPECT_EQ(m_port.transact("AT\r"), "\r\nOK\r\n");
}

TEST(SimulatedModemTest, StoppingRemovesTheLinkAndTheSocket) {
    QString link;
    QString control;
    {
        SimulatedModem modem;
        ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
        link = modem.linkPath();
        control = modem.controlPath();
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        EXPECT_TRUE(QFileInfo::exists(control));
        modem.stop();
        EXPECT_FALSE(modem.isRunning());
        EXPECT_FALSE(QFileInfo(link).isSymLink());
        EXPECT_FALSE(QFileInfo::exists(control));
    }
}

TEST(SimulatedModemTest, ReportsABadMemoryFile) {
    SimulatedModem modem({{"07911326040000F004", "0791ZZ"}, {}, {}, {}});
    EXPECT_FALSE(modem.start());
    EXPECT_TRUE(
        modem.errorString().contains(QLatin1String("me.txt:2: not a hexadecimal digit at octet 2")))
        << modem.errorString().toStdString();
}

TEST(SimulatedModemTest, ReportsAnUnknownFault) {
    SimulatedModem modem({{}, {}, {"flaky"}, {}});
    EXPECT_FALSE(modem.start());
    EXPECT_TRUE(modem.errorString().contains(QLatin1String("unknown fault \"flaky\"")))
        << modem.errorString().toStdString();
}

}  // namespace
}  // namespace telvane::test

namespace telvane::test {
namespace {

TEST(SimulatedModemTest, ReplacesAStaleLinkButNoFile) {
    SimulatedModem stale;
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null/gone"), stale.linkPath()));
    ASSERT_TRUE(stale.start()) << stale.errorString().toStdString();
    EXPECT_EQ(QFileInfo(stale.linkPath()).symLinkTarget(), stale.slavePath());

    SimulatedModem blocked;
    QFile file(blocked.linkPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(blocked.start());
    EXPECT_TRUE(blocked.errorString().contains(QLatin1String("is not a symbolic link")))
        << blocked.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(blocked.linkPath()).isFile()) << "the file must be left alone";
}

}  // namespace
}  // namespace telvane::test
