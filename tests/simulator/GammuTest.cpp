// gammu, a public AT client nobody here wrote, identifies the simulated modem and reads its
// messages: the modem is realistic enough for software that was built against real phones.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <string>

#include "PtyClient.h"
#include "SimulatorData.h"
#include "support/SimulatedModem.h"

namespace telvane::test {
namespace {

const char* const kGammu = "/usr/bin/gammu";

struct GammuRun {
    int exitCode = -1;
    std::string output;
};

GammuRun runGammu(const SimulatedModem& modem, const QStringList& command) {
    const QString config = modem.directory() + QStringLiteral("/gammurc");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    file.write("[gammu]\nconnection = at\nport = " + modem.linkPath().toUtf8() + "\n");
    file.close();

    QProcess gammu;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    gammu.setProcessEnvironment(environment);
    gammu.setProcessChannelMode(QProcess::MergedChannels);
    gammu.start(QString::fromLatin1(kGammu), QStringList{QStringLiteral("-c"), config} + command);
    if (!gammu.waitForFinished(60000)) {
        gammu.kill();
        gammu.waitForFinished();
        return {-1, "gammu did not finish: " + gammu.readAll().toStdString()};
    }
    return {gammu.exitCode(), gammu.readAll().toStdString()};
}

class GammuTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo(QString::fromLatin1(kGammu)).isExecutable()) {
            GTEST_SKIP() << "gammu is not installed (package gammu)";
        }
    }
};

TEST_F(GammuTest, IdentifiesTheModem) {
    SimulatedModem modem;
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    const GammuRun run = runGammu(modem, {QStringLiteral("identify")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const char* const expected[] = {
        "Manufacturer         : Telvane\n",         "Model                : unknown (TSM-900)\n",
        "Firmware             : TSM900_1.0.3\n",    "IMEI                 : 490154203237518\n",
        "SIM IMSI             : 250991234567890\n",
    };
    for (const char* line : expected)
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
}

TEST_F(GammuTest, ReadsBothMemories) {
    SimulatedModem modem({pduList("me.txt"), pduList("sm.txt"), {}, {}});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    const GammuRun run = runGammu(modem, {QStringLiteral("getallsms")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const char* const expected[] = {
        "\nHello from SIM\n",
        "Location 2, folder \"Inbox\", SIM memory, Inbox folder\nSMS status report\n",
        "Reference number     : 42\n",
        "Delivery status      : Delivered\n",
        "phone memory, Inbox folder\nSMS message\nSMSC number          : \"+31624000000\"\n",
        "\nHow are you?\n",
        "Remote number        : \"+79161234567\"\n",
        "\nПривет, мир!\n",
        "4 SMS parts in 4 SMS sequences",
    };
    for (const char* text : expected)
        EXPECT_NE(run.output.find(text), std::string::npos) << text << run.output;
}

TEST_F(GammuTest, ReadsTheStatusReportOfASubmission) {
    SimulatedModem modem({{}, {}, {}, {QStringLiteral("--report-delay"), QStringLiteral("0")}});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    {
        PtyClient port;
        ASSERT_TRUE(port.open(modem.linkPath().toStdString()));
        ASSERT_EQ(port.transact("ATE0\r"), "ATE0\r\r\nOK\r\n");
        ASSERT_EQ(port.transact("AT+CNMI=2,1,0,2,0\r"), "\r\nOK\r\n");
        ASSERT_EQ(port.transact("at+cmgs=19\r"), "\r\n> ");
        // The report may come right behind the OK: read on until the modem has announced it.
        ASSERT_TRUE(port.write(pduLines("submit.txt")[1] + "\x1a"));
        const std::string reply =
            port.readUntil([](const std::string& s) { return s.ends_with("+CDSI: \"ME\",1\r\n"); },
                           std::chrono::seconds(5));
        ASSERT_EQ(reply, "\r\n+CMGS: 1\r\n\r\nOK\r\n\r\n+CDSI: \"ME\",1\r\n");
    }
    const GammuRun run = runGammu(modem, {QStringLiteral("getallsms")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const char* const expected[] = {
        "SMS status report\n",
        "Remote number        : \"+79161234567\"\n",
        "Reference number     : 1\n",
        "SMSC number          : \"+79037011111\"\n",
        "Delivery status      : Delivered\n",
        "1 SMS parts in 1 SMS sequences",
    };
    for (const char* text : expected)
        EXPECT_NE(run.output.find(text), std::string::npos) << text << run.output;
}

}  // namespace
}  // namespace telvane::test
