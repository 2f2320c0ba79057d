// The simulated modem's answers to single commands, compared byte for byte with what a modem
// in verbose mode sends.

#include <gtest/gtest.h>

#include <string>

#include "PtyClient.h"
#include "support/SimulatedModem.h"

namespace telvane::test {
namespace {

struct Exchange {
    const char* command;
    const char* answer;  // after the echo
};

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_modem.start()) << m_modem.errorString().toStdString();
        ASSERT_TRUE(m_port.open(m_modem.linkPath().toStdString()));
    }

    SimulatedModem m_modem;
    PtyClient m_port;
};

TEST_F(CommandsTest, AnswersLikeAModem) {
    const Exchange table[] = {
        {"AT\r", "\r\nOK\r\n"},
        {"at\r", "\r\nOK\r\n"},
        {"AT+CGMI\r", "\r\nTelvane\r\n\r\nOK\r\n"},
        {"AT+CSQ\r", "\r\n+CSQ: 21,99\r\n\r\nOK\r\n"},
        {"AT+CPIN?\r", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+NOSUCH\r", "\r\nERROR\r\n"},
    };
    for (const auto& row : table) {
        const std::string answer = m_port.transact(row.command);
        EXPECT_EQ(answer, std::string(row.command) + row.answer) << row.command;
    }
}

}  // namespace
}  // namespace telvane::test
