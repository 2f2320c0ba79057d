// Scripted misbehaviour: each fault changes exactly the answers it names and leaves the rest of
// the modem working.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "PtyClient.h"
#include "SimulatorData.h"
#include "support/SimulatedModem.h"

namespace telvane::test {
namespace {

using namespace std::chrono_literals;

// A reply of nullptr: the modem must stay silent for a while (the window below).
struct Exchange {
    std::string command;
    const char* reply;
};

constexpr auto kSilenceWindow = 300ms;

struct FaultCase {
    const char* fault;
    std::vector<Exchange> exchanges;  // echo off
};

class FaultsTest : public ::testing::TestWithParam<FaultCase> {};

const std::string kSubmit = pduLines("submit.txt").at(0);

const FaultCase kCases[] = {
    {"no-me",
     {{"AT+CPMS=\"ME\"\r\n", "\r\nERROR\r\n"},
      {"AT+CPMS=\"SM\"\r\n", "\r\n+CPMS: 0,30,0,30,0,30\r\n\r\nOK\r\n"},
      {"AT+CPMS=?\r", "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n\r\nOK\r\n"},
      {"AT+CMEE=1\r", "\r\nOK\r\n"},
      {"AT+CPMS=\"ME\"\r\n", "\r\n+CMS ERROR: 320\r\n"}}},
    {"no-sm",
     {{"AT+CPMS=\"SM\"\r\n", "\r\nERROR\r\n"},
      {"AT+CPMS=\"ME\"\r\n", "\r\n+CPMS: 0,100,0,100,0,100\r\n\r\nOK\r\n"},
      {"AT+CPMS=?\r", "\r\n+CPMS: (\"ME\"),(\"ME\"),(\"ME\")\r\n\r\nOK\r\n"},
      {"AT+CMEE=1\r", "\r\nOK\r\n"},
      {"AT+CPMS=\"SM\"\r\n", "\r\n+CMS ERROR: 310\r\n"},
      {"AT+CPIN?\r", "\r\n+CME ERROR: 10\r\n"}}},
    {"error-prompt",
     {{"at+cmgs=19\r", "\r\nERROR\r\n"},
      {kSubmit + "\x1a", nullptr},  // just noise before the next command line
      {"AT\r", "\r\nOK\r\n"}}},
    {"no-prompt", {{"at+cmgs=19\r", nullptr}, {kSubmit + "\x1a", nullptr}, {"AT\r", "\r\nOK\r\n"}}},
    {"error-pdu",
     {{"at+cmgs=19\r", "\r\n> "}, {kSubmit + "\x1a", "\r\nERROR\r\n"}, {"AT\r", "\r\nOK\r\n"}}},
    {"cms-error",
     {{"at+cmgs=19\r", "\r\n> "},
      {kSubmit + "\x1a", "\r\n+CMS ERROR: 500\r\n"},
      {"AT\r", "\r\nOK\r\n"}}},
};

TEST_P(FaultsTest, ChangesOnlyItsAnswers) {
    const FaultCase& c = GetParam();
    SimulatedModem modem({{}, {}, {c.fault}, {}});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    PtyClient port;
    ASSERT_TRUE(port.open(modem.linkPath().toStdString()));
    ASSERT_EQ(port.transact("ATE0\r"), "ATE0\r\r\nOK\r\n");
    for (const auto& row : c.exchanges) {
        if (row.reply == nullptr) {
            ASSERT_TRUE(port.write(row.command));
            EXPECT_EQ(port.readFor(kSilenceWindow), "") << c.fault << ": " << row.command;
        } else {
            EXPECT_EQ(port.transact(row.command), row.reply) << c.fault << ": " << row.command;
        }
    }
    EXPECT_TRUE(modem.sentPdus().isEmpty()) << "a refused PDU counts as sent";
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultsTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.fault;
    std::erase(name, '-');
    return name;
});

TEST(FaultTest, SilentModemAnswersNothingNotEvenTheEcho) {
    SimulatedModem modem({{}, {}, {"silent"}, {}});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    PtyClient port;
    ASSERT_TRUE(port.open(modem.linkPath().toStdString()));
    ASSERT_TRUE(port.write("AT\r"));
    EXPECT_EQ(port.readFor(kSilenceWindow), "");
    ASSERT_TRUE(port.write("AT+CPMS=\"SM\"\r\n"));
    EXPECT_EQ(port.readFor(kSilenceWindow), "");
    // Still alive and reachable otherwise.
    EXPECT_TRUE(modem.deliver(ModemMemory::Sm, QString::fromStdString(pduLines("sm.txt")[0])));
}

TEST(FaultTest, SlowModemHoldsBackEveryAnswer) {
    SimulatedModem modem({{}, {}, {"slow=250"}, {}});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    PtyClient port;
    ASSERT_TRUE(port.open(modem.linkPath().toStdString()));
    for (const char* command : {"ATE0\r", "AT+CGMI\r"}) {
        const auto begin = std::chrono::steady_clock::now();
        const std::string reply = port.transact(command);
        const auto elapsed = std::chrono::steady_clock::now() - begin;
        EXPECT_TRUE(reply.ends_with("\r\nOK\r\n")) << reply;
        EXPECT_GE(elapsed, 250ms) << command;
    }
}

TEST(FaultTest, GarbageComesBetweenAnswersButNeverFormsAResult) {
    SimulatedModem modem({{}, {}, {"garbage"}, {}});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    PtyClient port;
    ASSERT_TRUE(port.open(modem.linkPath().toStdString()));
    const std::string reply = port.transact("AT+CGMI\r");
    ASSERT_TRUE(reply.starts_with("AT+CGMI\r")) << reply;
    ASSERT_TRUE(reply.ends_with("\r\nTelvane\r\n\r\nOK\r\n")) << reply;
    const std::string noise = reply.substr(8, reply.size() - 8 - 19);
    EXPECT_FALSE(noise.empty());
    EXPECT_EQ(noise.find_first_of("\r\n>OKER"), std::string::npos);
    const std::string prompt = port.transact("AT+CMGS=19\r");
    EXPECT_TRUE(prompt.ends_with("\r\n> ")) << prompt;
}

}  // namespace
}  // namespace telvane::test
