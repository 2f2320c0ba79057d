// The simulated modem's answers as a host in PDU mode sees them over the line, and what its
// control socket says meanwhile. The sessions are data (tests/data/simulator/sessions.txt).

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

struct Exchange {
    std::string command;  // "@..." a control request, "" only reads
    std::string reply;    // "-" silence, "~..." a regular expression
    std::string timing;   // ">=MS" or "<MS", measured to the end of the reply
};

struct Session {
    std::string name;
    bool memories = false;
    QStringList args;
    std::optional<QStringList> sent;
    std::vector<Exchange> exchanges;
};

void PrintTo(const Session& s, std::ostream* os) { *os << s.name; }

// \r \n \xHH unescaped, {file:N} replaced by the N-th PDU of that data file.
std::string expand(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t colon = text.find(':', i), end = text.find('}', i);
        if (text[i] == '{' && colon < end && end != std::string::npos) {
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
                if (o.starts_with("--")) s.args << QString::fromStdString(expand(o));
                if (o.starts_with("sent=")) {
                    s.sent.emplace();
                    std::istringstream pdus(o.substr(5));
                    for (std::string p; std::getline(pdus, p, ',');)
                        *s.sent << QString::fromStdString(expand(p));
                }
            }
        } else if (!sessions.empty()) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
            f.resize(3);
            sessions.back().exchanges.push_back(
                {expand(f[0]), f[1] == "-" ? "-" : expand(f[1]), f[2]});
        }
    }
    return sessions;
}

// Reads until the reply is complete or can no longer become what is expected.
std::string readReply(PtyClient& port, const std::string& expected) {
    if (expected.starts_with('~')) {
        const std::regex pattern(expected.substr(1));
        return port.readUntil([&](const std::string& s) { return std::regex_match(s, pattern); },
                              10s);
    }
    return port.readUntil(
        [&](const std::string& s) {
            return s.size() >= expected.size() || expected.compare(0, s.size(), s) != 0;
        },
        10s);
}

// A control request; one that only reports is repeated until its answer is the expected one,
// each round trip to the simulator's process being the wait.
std::string controlReply(SimulatedModem& modem, const std::string& request,
                         const std::string& expected) {
    const bool reportOnly = request.starts_with("list") || request.starts_with("settings");
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
        const auto answer = modem.control(QString::fromStdString(request));
        const std::string text = answer ? answer->toStdString() : "(no answer)";
        if (text == expected || !reportOnly || std::chrono::steady_clock::now() > deadline) {
            return text;
        }
    }
}

class SessionsTest : public ::testing::TestWithParam<Session> {};

TEST_P(SessionsTest, PlaysAsRecorded) {
    const Session& s = GetParam();
    SimulatedModem modem({s.memories ? pduList("me.txt") : QStringList(),
                          s.memories ? pduList("sm.txt") : QStringList(),
                          {},
                          s.args});
    ASSERT_TRUE(modem.start()) << modem.errorString().toStdString();
    PtyClient port;
    ASSERT_TRUE(port.open(modem.linkPath().toStdString()));
    for (const auto& [command, reply, timing] : s.exchanges) {
        if (command.starts_with('@')) {
            EXPECT_EQ(controlReply(modem, command.substr(1), reply), reply) << command;
            continue;
        }
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_TRUE(port.write(command));
        if (reply == "-") {
            EXPECT_EQ(port.readFor(300ms), "") << command;
            continue;
        }
        const std::string received = readReply(port, reply);
        const auto took = std::chrono::steady_clock::now() - begin;
        if (reply.starts_with('~')) {
            EXPECT_TRUE(std::regex_match(received, std::regex(reply.substr(1))))
                << command << " -> " << received;
        } else {
            EXPECT_EQ(received, reply) << command;
        }
        if (!timing.empty()) {
            const auto limit =
                std::chrono::milliseconds(std::stoi(timing.substr(timing[0] == '<' ? 1 : 2)));
            if (timing[0] == '<') {
                EXPECT_LT(took, limit) << command;
            } else {
                EXPECT_GE(took, limit) << command;
            }
        }
    }
    if (s.sent) {
        EXPECT_EQ(modem.sentPdus(), *s.sent);
    }
}

INSTANTIATE_TEST_SUITE_P(Sessions, SessionsTest, ::testing::ValuesIn(loadSessions()),
                         [](const auto& info) {
                             std::string name;
                             for (const char c : info.param.name)
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

}  // namespace
}  // namespace telvane::test
