// The simulated modem's answers as a host in PDU mode sees them over the line: commands,
// settings, the two message memories, submission with the prompt, and scripted faults. The
// sessions are data (tests/data/simulator/sessions.txt); a few exchanges that need more than a
// comparison follow them.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "PtyClient.h"
#include "SimulatorData.h"
#include "support/SimulatedModem.h"

namespace telvane::test {
namespace {

using namespace std::chrono_literals;

struct Session {
    std::string name;
    bool memories = false, reachable = false;
    std::string fault;
    std::optional<QStringList> sent;
    std::vector<std::pair<std::string, std::string>> exchanges;  // reply "-": silence
};

void PrintTo(const Session& s, std::ostream* os) { *os << s.name; }

// \r \n \xHH unescaped, {file:N} replaced by the N-th PDU of that data file.
std::string expand(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            const std::size_t colon = text.find(':', i), end = text.find('}', i);
            out += pduLines(text.substr(i + 1, colon - i - 1) + ".txt")
                       .at(std::stoul(text.substr(colon + 1, end - colon - 1)));
            i = end;
        } else if (text[i] == '\\' && i + 1 < text.size()) {
            const char e = text[++i];
            if (e == 'x') {
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += e == 'r' ? '\r' : e == 'n' ? '\n' : e;
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<Session> loadSessions() {
    std::ifstream in(simulatorDataPath("sessions.txt"));
    std::vector<Session> sessions;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            Session& s = sessions.emplace_back();
            s.name = line.substr(1, line.find(']') - 1);
            std::istringstream options(line.substr(line.find(']') + 1));
            for (std::string o; options >> o;) {
                s.memories |= o == "memories";
                s.reachable |= o == "reachable";
                if (o.starts_with("fault=")) s.fault = o.substr(6);
                if (o.starts_with("sent=")) {
                    s.sent.emplace();
                    std::istringstream pdus(o.substr(5));
                    for (std::string p; std::getline(pdus, p, ',');)
                        *s.sent << QString::fromStdString(expand(p));
                }
            }
        } else if (!sessions.empty()) {
            const std::size_t tab = line.find('\t');
            sessions.back().exchanges.emplace_back(
                expand(line.substr(0, tab)),
                line.substr(tab + 1) == "-" ? "-" : expand(line.substr(tab + 1)));
        }
    }
    return sessions;
}

class SessionsTest : public ::testing::TestWithParam<Session> {};

TEST_P(SessionsTest, PlaysAsRecorded) {
    const Session& s = GetParam();
    SimulatedModem modem(
        {s.memories ? pduList("me.txt") : QStringList(),
         s.memories ? pduList("sm.txt") : QStringList(),
         s.fault.empty() ? QStringList() : QStringList{QString::fromStdString(s.fault)},
         {}});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    PtyClient port;
    ASSERT_TRUE(port.open(modem.linkPath().toStdString()));
    for (const auto& [command, reply] : s.exchanges) {
        if (reply == "-") {
            ASSERT_TRUE(port.write(command));
            EXPECT_EQ(port.readFor(300ms), "") << command;
        } else {
            EXPECT_EQ(port.transact(command), reply) << command;
        }
    }
    if (s.sent) EXPECT_EQ(modem.sentPdus(), *s.sent);
    if (s.reachable) EXPECT_TRUE(modem.deliver(ModemMemory::Sm, pduList("sm.txt")[0]));
}

INSTANTIATE_TEST_SUITE_P(Sessions, SessionsTest, ::testing::ValuesIn(loadSessions()),
                         [](const auto& info) {
                             std::string name;
                             for (const char c : info.param.name)
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

// A running modem, echo off, with both memories preloaded.
class ModemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_modem.start()) << m_modem.errorString().toStdString();
        ASSERT_TRUE(m_port.open(m_modem.linkPath().toStdString()));
        ASSERT_EQ(m_port.transact("ATE0\r"), "ATE0\r\r\nOK\r\n");
    }
    std::string readLine() {
        return m_port.readUntil([](const std::string& s) { return s.ends_with("\r"); }, 5s);
    }

    SimulatedModem m_modem{{pduList("me.txt"), pduList("sm.txt"), {}, {}}};
    PtyClient m_port;
};

TEST_F(ModemTest, NumericResultCodesAfterAtv0) {
    ASSERT_TRUE(m_port.write("ATV0\r"));
    EXPECT_EQ(readLine(), "0\r");
    ASSERT_TRUE(m_port.write("AT+NOSUCH\r"));
    EXPECT_EQ(readLine(), "4\r");
    EXPECT_EQ(m_port.transact("ATV1\r"), "\r\nOK\r\n");
}

TEST_F(ModemTest, StoresAStatusReportWhenOneWasRequested) {
    const auto submits = pduLines("submit.txt");
    ASSERT_EQ(m_port.transact("AT+CPMS=\"SM\"\r\n"), "\r\n+CPMS: 2,30,2,100,2,100\r\n\r\nOK\r\n");
    // <ds>=2: the modem says where it stored the report.
    ASSERT_EQ(m_port.transact("AT+CNMI=2,1,0,2,0\r"), "\r\nOK\r\n");
    ASSERT_EQ(m_port.transact("at+cmgs=19\r"), "\r\n> ");
    ASSERT_EQ(m_port.transact(submits[0] + "\x1a"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");  // no TP-SRR
    ASSERT_EQ(m_port.transact("at+cmgs=19\r"), "\r\n> ");
    // TP-SRR set; the report may come right behind the OK, so read on until it is announced.
    ASSERT_TRUE(m_port.write(submits[1] + "\x1a"));
    EXPECT_EQ(m_port.readUntil(
                  [](const std::string& s) { return s.ends_with("+CDSI: \"SM\",3\r\n"); }, 5s),
              "\r\n+CMGS: 2\r\n\r\nOK\r\n\r\n+CDSI: \"SM\",3\r\n");

    const std::string reply = m_port.transact("AT+CMGL=4\r\n");
    // Only the second submission asked for a report: one new entry, for TP-MR 2.
    const std::regex report(
        "\\+CMGL: 3,0,,25\r\n"
        "(07919730071111F1)"                            // the SMSC of AT+CSCA?
        "06"                                            // SMS-STATUS-REPORT, no more messages
        "02"                                            // TP-MR from +CMGS
        "(0B919761214365F7)"                            // TP-RA: the recipient as submitted
        "([0-9]{12}[0-9A-F]{2})([0-9]{12}[0-9A-F]{2})"  // TP-SCTS, TP-DT
        "00\r\n");                                      // TP-ST: delivered
    EXPECT_TRUE(std::regex_search(reply, report)) << reply;
    EXPECT_EQ(reply.find("+CMGL: 4"), std::string::npos) << reply;
    EXPECT_TRUE(reply.ends_with("\r\nOK\r\n"));
}

TEST(FaultTest, SlowModemHoldsBackEveryAnswer) {
    SimulatedModem modem({{}, {}, {"slow=250"}, {}});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    PtyClient port;
    ASSERT_TRUE(port.open(modem.linkPath().toStdString()));
    for (const char* command : {"ATE0\r", "AT+CGMI\r"}) {
        const auto begin = std::chrono::steady_clock::now();
        const std::string reply = port.transact(command);
        EXPECT_TRUE(reply.ends_with("\r\nOK\r\n")) << reply;
        EXPECT_GE(std::chrono::steady_clock::now() - begin, 250ms) << command;
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
