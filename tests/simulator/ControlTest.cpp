// The control socket as a client sees it, and the port vanishing and coming back. What its
// requests do is in the sessions (tests/data/simulator/sessions.txt).

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

// The example of --help: a client that closes its sending side right after the request, with or
// without the line end, still gets the answer.
TEST_F(ControlTest, AnswersAClientThatClosedItsSide) {
    if (!QFileInfo(QStringLiteral("/usr/bin/socat")).isExecutable()) {
        GTEST_SKIP() << "socat is not installed (package socat)";
    }
    for (const char* request : {"list me\n", "settings"}) {
        QProcess socat;
        socat.start(QStringLiteral("/usr/bin/socat"),
                    {QStringLiteral("-"), QStringLiteral("UNIX-CONNECT:") + m_modem.controlPath()});
        socat.write(request);
        socat.closeWriteChannel();
        ASSERT_TRUE(socat.waitForFinished(10000)) << request;
        EXPECT_TRUE(socat.readAllStandardOutput().startsWith("OK")) << request;
    }
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
