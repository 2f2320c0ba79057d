// The simulated modem's answers to commands, compared byte for byte with what a modem in verbose
// mode sends: echo, information text framed by CR LF, the final result code.

#include <gtest/gtest.h>

#include <string>

#include "PtyClient.h"
#include "support/SimulatedModem.h"

namespace telvane::test {
namespace {

struct Exchange {
    const char* command;  // as the host writes it
    const char* reply;    // everything the modem sends back, echo included
};

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_modem.start()) << m_modem.errorString().toStdString();
        ASSERT_TRUE(m_port.open(m_modem.linkPath().toStdString()));
    }

    void play(std::initializer_list<Exchange> table) {
        for (const auto& row : table) {
            EXPECT_EQ(m_port.transact(row.command), row.reply) << "command " << row.command;
        }
    }

    SimulatedModem m_modem;
    PtyClient m_port;
};

TEST_F(CommandsTest, IdentifiesItselfAndTheSim) {
    play({
        {"AT\r", "AT\r\r\nOK\r\n"},
        {"ATI\r", "ATI\r\r\nTelvane\r\nTSM-900\r\nRevision: TSM900_1.0.3\r\n\r\nOK\r\n"},
        {"AT+CGMI\r", "AT+CGMI\r\r\nTelvane\r\n\r\nOK\r\n"},
        {"AT+CGMM\r", "AT+CGMM\r\r\nTSM-900\r\n\r\nOK\r\n"},
        {"AT+CGMR\r", "AT+CGMR\r\r\nTSM900_1.0.3\r\n\r\nOK\r\n"},
        {"AT+CGSN\r", "AT+CGSN\r\r\n490154203237518\r\n\r\nOK\r\n"},
        {"AT+CIMI\r", "AT+CIMI\r\r\n250991234567890\r\n\r\nOK\r\n"},
        {"AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 21,99\r\n\r\nOK\r\n"},
        {"AT+CPIN?\r", "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+CSCA?\r", "AT+CSCA?\r\r\n+CSCA: \"+79037011111\",145\r\n\r\nOK\r\n"},
        {"AT+CFUN=1\r", "AT+CFUN=1\r\r\nOK\r\n"},
    });
}

TEST_F(CommandsTest, TakesCommandsInAnyCaseWithCrOrCrLf) {
    play({
        {"at\r", "at\r\r\nOK\r\n"},
        {"At+cGmI\r", "At+cGmI\r\r\nTelvane\r\n\r\nOK\r\n"},
        // The LF of CR LF is not echoed and starts no command: the next reply stays clean.
        {"AT+CMGF=0\r\n", "AT+CMGF=0\r\r\nOK\r\n"},
        {"AT\r\n", "AT\r\r\nOK\r\n"},
        {"AT + CSQ\r", "AT + CSQ\r\r\n+CSQ: 21,99\r\n\r\nOK\r\n"},
        // Noise before the prefix is not part of the command line.
        {"xyAT\r", "xyAT\r\r\nOK\r\n"},
        {"AT+CGMI;+CGMM\r", "AT+CGMI;+CGMM\r\r\nTelvane\r\n\r\nTSM-900\r\n\r\nOK\r\n"},
    });
}

TEST_F(CommandsTest, RejectsWhatItDoesNotKnow) {
    play({
        {"AT+NOSUCH\r", "AT+NOSUCH\r\r\nERROR\r\n"},
        {"ATQ9\r", "ATQ9\r\r\nERROR\r\n"},
        {"AT+CGMI=1\r", "AT+CGMI=1\r\r\nERROR\r\n"},
        {"AT+CMGF=2\r", "AT+CMGF=2\r\r\nERROR\r\n"},
        // One bad command cancels the whole line, information text included.
        {"AT+CGMI;+NOSUCH\r", "AT+CGMI;+NOSUCH\r\r\nERROR\r\n"},
        {"AT\r", "AT\r\r\nOK\r\n"},
    });
}

TEST_F(CommandsTest, EchoFollowsAteAndAtzRestoresIt) {
    play({
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},  // typed while the echo was still on
        {"AT\r", "\r\nOK\r\n"},
        {"AT+CGMI\r", "\r\nTelvane\r\n\r\nOK\r\n"},
        {"ATE1\r", "\r\nOK\r\n"},
        {"AT\r", "AT\r\r\nOK\r\n"},
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},
        {"ATZ\r", "\r\nOK\r\n"},
        {"AT\r", "AT\r\r\nOK\r\n"},
    });
}

TEST_F(CommandsTest, ReportsSettingsAndTheirRanges) {
    play({
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},
        {"AT+CMGF?\r", "\r\n+CMGF: 0\r\n\r\nOK\r\n"},
        {"AT+CMGF=1\r", "\r\nOK\r\n"},
        {"AT+CMGF?\r", "\r\n+CMGF: 1\r\n\r\nOK\r\n"},
        {"AT+CMGF=0\r", "\r\nOK\r\n"},
        {"AT+CMGF=?\r", "\r\n+CMGF: (0,1)\r\n\r\nOK\r\n"},
        {"AT+CPMS=?\r", "\r\n+CPMS: (\"ME\",\"SM\"),(\"ME\",\"SM\"),(\"ME\",\"SM\")\r\n\r\nOK\r\n"},
        {"AT+CPMS?\r", "\r\n+CPMS: \"ME\",0,100,\"ME\",0,100,\"ME\",0,100\r\n\r\nOK\r\n"},
        {"AT+CSCS=?\r", "\r\n+CSCS: (\"IRA\",\"GSM\",\"UCS2\")\r\n\r\nOK\r\n"},
        {"AT+CSCS=\"GSM\"\r", "\r\nOK\r\n"},
        {"AT+CSCS?\r", "\r\n+CSCS: \"GSM\"\r\n\r\nOK\r\n"},
        {"AT+CMEE?\r", "\r\n+CMEE: 0\r\n\r\nOK\r\n"},
        {"AT+CNMI=2,1,0,2,0\r", "\r\nOK\r\n"},
        {"AT+CNMI?\r", "\r\n+CNMI: 2,1,0,2,0\r\n\r\nOK\r\n"},
        {"AT+CSMS?\r", "\r\n+CSMS: 0,1,1,1\r\n\r\nOK\r\n"},
    });
}

TEST_F(CommandsTest, ErrorDetailFollowsCmee) {
    play({
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},
        {"AT+CMGD=7\r", "\r\nERROR\r\n"},
        {"AT+CPIN=1234\r", "\r\nERROR\r\n"},
        {"AT+CMEE=1\r", "\r\nOK\r\n"},
        {"AT+CMGD=7\r", "\r\n+CMS ERROR: 321\r\n"},
        {"AT+CPIN=1234\r", "\r\n+CME ERROR: 3\r\n"},
        {"AT+CMEE=2\r", "\r\nOK\r\n"},
        {"AT+CPIN=1234\r", "\r\n+CME ERROR: operation not allowed\r\n"},
        // Unknown commands stay a plain ERROR whatever +CMEE says.
        {"AT+NOSUCH\r", "\r\nERROR\r\n"},
    });
}

TEST_F(CommandsTest, NumericResultCodesAfterAtv0) {
    ASSERT_EQ(m_port.transact("ATE0\r"), "ATE0\r\r\nOK\r\n");
    ASSERT_TRUE(m_port.write("ATV0\r"));
    EXPECT_EQ(m_port.readUntil([](const std::string& s) { return s.ends_with("\r"); },
                               std::chrono::seconds(5)),
              "0\r");
    ASSERT_TRUE(m_port.write("AT+NOSUCH\r"));
    EXPECT_EQ(m_port.readUntil([](const std::string& s) { return s.ends_with("\r"); },
                               std::chrono::seconds(5)),
              "4\r");
    EXPECT_EQ(m_port.transact("ATV1\r"), "\r\nOK\r\n");
}

}  // namespace
}  // namespace telvane::test
