// The two message memories, listing, reading and deleting, and submission with the prompt, as a
// host in PDU mode sees them over the line.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "PtyClient.h"
#include "SimulatorData.h"
#include "support/SimulatedModem.h"

namespace telvane::test {
namespace {

struct Exchange {
    std::string command;
    std::string reply;  // echo off
};

// TPDU lengths (the PDU without its SMSC part) of the preloaded messages, counted by hand.
constexpr int kHowAreYouLength = 30;
constexpr int kPrivetLength = 43;
constexpr int kHelloFromSimLength = 32;
constexpr int kStatusReportLength = 25;

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override { startWith({}); }

    void startWith(QStringList extraArgs) {
        m_modem = std::make_unique<SimulatedModem>(
            SimulatedModemOptions{pduList("me.txt"), pduList("sm.txt"), {}, std::move(extraArgs)});
        ASSERT_TRUE(m_modem->start()) << m_modem->errorString().toStdString();
        ASSERT_TRUE(m_port.open(m_modem->linkPath().toStdString()));
        ASSERT_EQ(m_port.transact("ATE0\r"), "ATE0\r\r\nOK\r\n");
    }

    void play(const std::vector<Exchange>& table) {
        for (const auto& row : table) {
            EXPECT_EQ(m_port.transact(row.command), row.reply) << "command " << row.command;
        }
    }

    std::unique_ptr<SimulatedModem> m_modem;
    PtyClient m_port;
};

std::string entry(int index, int stat, int length, const std::string& pdu) {
    return "+CMGL: " + std::to_string(index) + "," + std::to_string(stat) + ",," +
           std::to_string(length) + "\r\n" + pdu + "\r\n";
}

TEST_F(MessagesTest, TwoSeparateMemories) {
    const auto me = pduLines("me.txt");
    const auto sm = pduLines("sm.txt");
    play({
        // Only <mem1> is given, so <mem2> and <mem3> stay on the phone memory.
        {"AT+CPMS=\"ME\"\r\n", "\r\n+CPMS: 2,100,2,100,2,100\r\n\r\nOK\r\n"},
        {"AT+CMGL=4\r\n", "\r\n" + entry(1, 0, kHowAreYouLength, me[0]) +
                              entry(2, 0, kPrivetLength, me[1]) + "\r\nOK\r\n"},
        {"AT+CPMS=\"SM\"\r\n", "\r\n+CPMS: 2,30,2,100,2,100\r\n\r\nOK\r\n"},
        {"AT+CMGL=4\r\n", "\r\n" + entry(1, 0, kHelloFromSimLength, sm[0]) +
                              entry(2, 0, kStatusReportLength, sm[1]) + "\r\nOK\r\n"},
        {"AT+CPMS?\r", "\r\n+CPMS: \"SM\",2,30,\"ME\",2,100,\"ME\",2,100\r\n\r\nOK\r\n"},
        {"AT+CPMS=\"SM\",\"SM\",\"SM\"\r", "\r\n+CPMS: 2,30,2,30,2,30\r\n\r\nOK\r\n"},
        {"AT+CPMS=\"MT\"\r", "\r\nERROR\r\n"},
    });
}

TEST_F(MessagesTest, ListingMarksReceivedMessagesRead) {
    const auto me = pduLines("me.txt");
    play({
        {"AT+CMGL=0\r", "\r\n" + entry(1, 0, kHowAreYouLength, me[0]) +
                            entry(2, 0, kPrivetLength, me[1]) + "\r\nOK\r\n"},
        {"AT+CMGL=0\r", "\r\nOK\r\n"},
        {"AT+CMGL=1\r", "\r\n" + entry(1, 1, kHowAreYouLength, me[0]) +
                            entry(2, 1, kPrivetLength, me[1]) + "\r\nOK\r\n"},
        {"AT+CMGL=4\r", "\r\n" + entry(1, 1, kHowAreYouLength, me[0]) +
                            entry(2, 1, kPrivetLength, me[1]) + "\r\nOK\r\n"},
        {"AT+CMGL=?\r", "\r\n+CMGL: (0-4)\r\n\r\nOK\r\n"},
        {"AT+CMGL=5\r", "\r\nERROR\r\n"},
    });
}

TEST_F(MessagesTest, ReadsAndDeletesByIndex) {
    const auto me = pduLines("me.txt");
    play({
        {"AT+CMGR=2\r",
         "\r\n+CMGR: 0,," + std::to_string(kPrivetLength) + "\r\n" + me[1] + "\r\n\r\nOK\r\n"},
        {"AT+CMGD=?\r", "\r\n+CMGD: (1,2),(0-4)\r\n\r\nOK\r\n"},
        {"at+cmgd=1\r", "\r\nOK\r\n"},
        {"AT+CMGL=4\r\n", "\r\n" + entry(2, 1, kPrivetLength, me[1]) + "\r\nOK\r\n"},
        {"at+cmgd=1\r", "\r\nERROR\r\n"},
        {"AT+CMEE=1\r", "\r\nOK\r\n"},
        {"at+cmgd=1\r", "\r\n+CMS ERROR: 321\r\n"},
        {"at+cmgd=0\r", "\r\n+CMS ERROR: 321\r\n"},
        {"AT+CMGR=1\r", "\r\n+CMS ERROR: 321\r\n"},
        {"at+cmgd=2\r", "\r\nOK\r\n"},
        {"AT+CMGL=4\r\n", "\r\nOK\r\n"},
        {"AT+CPMS=\"ME\"\r\n", "\r\n+CPMS: 0,100,0,100,0,100\r\n\r\nOK\r\n"},
        // <delflag> 4 empties the memory.
        {"AT+CPMS=\"SM\"\r\n", "\r\n+CPMS: 2,30,0,100,0,100\r\n\r\nOK\r\n"},
        {"AT+CMGD=1,4\r", "\r\nOK\r\n"},
        {"AT+CMGL=4\r\n", "\r\nOK\r\n"},
    });
}

TEST_F(MessagesTest, TextModeRefusesPduCommands) {
    play({
        {"AT+CMGF=1\r", "\r\nOK\r\n"},
        {"AT+CMEE=1\r", "\r\nOK\r\n"},
        {"AT+CMGL=4\r", "\r\n+CMS ERROR: 302\r\n"},
        {"AT+CMGF=0\r", "\r\nOK\r\n"},
    });
}

TEST_F(MessagesTest, SubmitsAfterThePromptAndRecordsThePdu) {
    const auto submits = pduLines("submit.txt");
    play({
        {"at+cmgs=19\r", "\r\n> "},
        {submits[0] + "\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},
        {"at+cmgs=19\r", "\r\n> "},
        {submits[0] + "\x1a", "\r\n+CMGS: 2\r\n\r\nOK\r\n"},
    });
    EXPECT_EQ(m_modem->sentPdus(), QStringList({QString::fromStdString(submits[0]),
                                                QString::fromStdString(submits[0])}));
}

TEST_F(MessagesTest, EchoesThePduWhenEchoIsOn) {
    const auto submits = pduLines("submit.txt");
    play({
        {"ATE1\r", "\r\nOK\r\n"},
        {"at+cmgs=19\r", "at+cmgs=19\r\r\n> "},
        {submits[0] + "\x1a", submits[0] + "\r\n+CMGS: 1\r\n\r\nOK\r\n"},
    });
}

TEST_F(MessagesTest, EscapeCancelsTheSubmission) {
    const auto submits = pduLines("submit.txt");
    play({
        {"at+cmgs=19\r", "\r\n> "},
        {submits[0] + "\x1b", "\r\nOK\r\n"},
        {"AT\r", "\r\nOK\r\n"},
    });
    EXPECT_TRUE(m_modem->sentPdus().isEmpty());
}

TEST_F(MessagesTest, RejectsPdusThatDoNotMatchTheirLength) {
    const auto submits = pduLines("submit.txt");
    play({
        {"AT+CMEE=1\r", "\r\nOK\r\n"},
        {"at+cmgs=18\r", "\r\n> "},
        {submits[0] + "\x1a", "\r\n+CMS ERROR: 304\r\n"},
        {"at+cmgs=19\r", "\r\n> "},
        {"0011000B91XYZ\x1a", "\r\n+CMS ERROR: 304\r\n"},
        // An SMS-DELIVER is no message to send.
        {"at+cmgs=30\r", "\r\n> "},
        {pduLines("me.txt")[0] + "\x1a", "\r\n+CMS ERROR: 304\r\n"},
        {"at+cmgs=0\r", "\r\n+CMS ERROR: 303\r\n"},
    });
    EXPECT_TRUE(m_modem->sentPdus().isEmpty());
}

TEST_F(MessagesTest, StoresAStatusReportWhenOneWasRequested) {
    const auto submits = pduLines("submit.txt");
    play({
        {"AT+CPMS=\"SM\"\r\n", "\r\n+CPMS: 2,30,2,100,2,100\r\n\r\nOK\r\n"},
        // <ds>=2: the modem says where it stored the report.
        {"AT+CNMI=2,1,0,2,0\r", "\r\nOK\r\n"},
        {"at+cmgs=19\r", "\r\n> "},
        {submits[0] + "\x1a", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},  // no TP-SRR
        {"at+cmgs=19\r", "\r\n> "},
    });
    // TP-SRR set; the report may come right behind the OK, so read on until it is announced.
    ASSERT_TRUE(m_port.write(submits[1] + "\x1a"));
    const std::string notice =
        m_port.readUntil([](const std::string& s) { return s.ends_with("+CDSI: \"SM\",3\r\n"); },
                         std::chrono::seconds(5));
    EXPECT_EQ(notice, "\r\n+CMGS: 2\r\n\r\nOK\r\n\r\n+CDSI: \"SM\",3\r\n");

    const std::string reply = m_port.transact("AT+CMGL=4\r\n");
    // Only the second submission asked for a report: one new entry, for TP-MR 2.
    std::smatch m;
    const std::regex report(
        "\\+CMGL: 3,0,,25\r\n"
        "(07919730071111F1)"                            // the SMSC of AT+CSCA?
        "06"                                            // SMS-STATUS-REPORT, no more messages
        "02"                                            // TP-MR from +CMGS
        "(0B919761214365F7)"                            // TP-RA: the recipient as submitted
        "([0-9]{12}[0-9A-F]{2})([0-9]{12}[0-9A-F]{2})"  // TP-SCTS, TP-DT
        "00\r\n");                                      // TP-ST: delivered
    ASSERT_TRUE(std::regex_search(reply, m, report)) << reply;
    EXPECT_EQ(reply.find("+CMGL: 4"), std::string::npos) << reply;
    EXPECT_TRUE(reply.ends_with("\r\nOK\r\n"));
}

}  // namespace
}  // namespace telvane::test
