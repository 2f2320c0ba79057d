// gammu, a public AT client nobody here wrote, identifies the simulated modem and reads its
// messages: the modem is realistic enough for software that was built against real phones.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <string>
#include <vector>

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

struct GammuCase {
    const char* name;
    QStringList modemArgs;
    bool memories;
    std::vector<QStringList> commands;  // run in turn; all but the last must succeed
    bool lastSucceeds;
    std::vector<const char*> expected;  // found in what the commands printed
};

const std::vector<GammuCase> kCases = {
    {"identifies the modem",
     {},
     false,
     {{"identify"}},
     true,
     {"Manufacturer         : Telvane\n", "Model                : unknown (TSM-900)\n",
      "Firmware             : TSM900_1.0.3\n", "IMEI                 : 490154203237518\n",
      "SIM IMSI             : 250991234567890\n"}},
    {"reads both memories",
     {},
     true,
     {{"getallsms"}},
     true,
     {"\nHello from SIM\n",
      "Location 2, folder \"Inbox\", SIM memory, Inbox folder\nSMS status report\n",
      "Reference number     : 42\n", "Delivery status      : Delivered\n",
      "phone memory, Inbox folder\nSMS message\nSMSC number          : \"+31624000000\"\n",
      "\nHow are you?\n", "Remote number        : \"+79161234567\"\n", "\nПривет, мир!\n",
      "4 SMS parts in 4 SMS sequences"}},
    {"reads the status report of its submission",
     {"--report-delay", "0"},
     false,
     {{"sendsms", "TEXT", "+79161234567", "-report", "-text", "hello"}, {"getallsms"}},
     true,
     {"message reference=1", "SMS status report\n", "Remote number        : \"+79161234567\"\n",
      "Reference number     : 1\n", "SMSC number          : \"+79037011111\"\n",
      "Delivery status      : Delivered\n", "1 SMS parts in 1 SMS sequences"}},
    {"enters the PIN the SIM asks for",
     {"--pin", "1234"},
     false,
     {{"getsecuritystatus"}, {"entersecuritycode", "PIN", "1234"}, {"getsecuritystatus"}},
     true,
     {"Waiting for PIN.", "Nothing to enter."}},
    // gammu 1.42 selects one memory at a time and cannot read this stick, as its users found
    // with the real one (gammu issues #829 and #908).
    {"fails on a modem taking three memories only",
     {"--profile", "e3372-325"},
     true,
     {{"getallsms"}},
     false,
     {}},
};

class GammuTest : public ::testing::TestWithParam<GammuCase> {};

TEST_P(GammuTest, ReadsTheModemAsAPeerWould) {
    if (!QFileInfo(QString::fromLatin1(kGammu)).isExecutable()) {
        GTEST_SKIP() << "gammu is not installed (package gammu)";
    }
    const GammuCase& c = GetParam();
    SimulatedModem modem({c.memories ? pduList("me.txt") : QStringList(),
                          c.memories ? pduList("sm.txt") : QStringList(),
                          {},
                          c.modemArgs});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    std::string output;
    for (size_t i = 0; i < c.commands.size(); ++i) {
        const GammuRun run = runGammu(modem, c.commands[i]);
        output += run.output;
        const bool last = i + 1 == c.commands.size();
        EXPECT_EQ(run.exitCode == 0, !last || c.lastSucceeds) << run.output;
    }
    for (const char* text : c.expected)
        EXPECT_NE(output.find(text), std::string::npos) << text << output;
}

INSTANTIATE_TEST_SUITE_P(Gammu, GammuTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
    return name;
});

}  // namespace
}  // namespace telvane::test
