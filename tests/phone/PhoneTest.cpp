// The command transaction over a scripted port and a clock that moves only with the port's read
// steps (what counts as an answer, when it times out, what the port log holds, how the port is
// named and opened from the settings), and the serial component over a real pseudo-terminal,
// where the test plays the phone on the master side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <deque>

#include "config/Settings.h"
#include "phone/ARCComm.h"
#include "phone/AtExchange.h"
#include "phone/PortSettings.h"
#include "replies/Replies.h"
#include "support/FakeClock.h"
#include "support/TestData.h"

using namespace telvane;
using contracts::ReplyState;

namespace {

// Each read step takes one chunk from the script (an empty chunk is a silent step that lasts
// the whole read time-out) and raises DataIn the way the real port does.
class ScriptedPort final : public phone::CommPort {
public:
    explicit ScriptedPort(test::FakeClock& clock) : m_clock(clock) {}
    bool InitCom(const QString& device, const QString& mode) override {
        opened = device + u' ' + mode;
        return opens;
    }
    bool WriteData(const QByteArray& bytes) override {
        written << bytes;
        return true;
    }
    void ItIsTime() override {
        const QByteArray chunk = steps.empty() ? QByteArray() : steps.front();
        if (!steps.empty()) steps.pop_front();
        m_clock.ms += chunk.isEmpty() ? 257 : 10;
        m_received += chunk;
        m_bytes += quint64(chunk.size());
        if (!chunk.isEmpty()) emit arrived();
        if (chunk.isEmpty() && std::exchange(m_pending, false)) emit DataIn();
        m_pending = m_pending || !chunk.isEmpty();
    }
    QByteArray GetData() override { return std::exchange(m_received, {}); }
    QByteArray pending() const override { return m_received; }
    void PurgeBuffer() override {}
    void FinCom() override {}
    bool isOpen() const override { return true; }
    quint64 bytesRead() const override { return m_bytes; }
    bool failed() const override { return fails; }

    std::deque<QByteArray> steps;
    QList<QByteArray> written;
    QString opened;
    bool opens = true;
    bool fails = false;

private:
    test::FakeClock& m_clock;
    QByteArray m_received;
    bool m_pending = false;
    quint64 m_bytes = 0;
};

TEST(AtExchange, ClassifyReplyPortLogLineAndDeadline) {
    for (const auto& [reply, wait, state] :
         {std::tuple<const char*, const char*, ReplyState>{"at\r\r\nOK\r\n", "ok",
                                                           ReplyState::Answered},
          {"\r\nok\r\n", "OK", ReplyState::Answered},
          {"AT+CMGS=23\r\r\n> ", ">", ReplyState::Answered},
          {"AT+CMGS=23\r\r\n+CMS ERROR: 500\r\n", ">", ReplyState::Failed},
          {"\r\nOK\r\n\r\nERROR\r\n", "OK", ReplyState::Failed},  // ERROR wins
          {"\r\n+CME error: 10\r\n", "OK", ReplyState::Failed},
          {"at\r", "OK", ReplyState::Pending}}) {
        EXPECT_EQ(contracts::classifyReply(reply, wait), state) << reply;
    }
    // The fast profile ends an answer only where a final result code or the prompt is whole.
    for (const auto& [reply, complete] : {std::pair{"\r\n+CMS ERROR: 3", false},
                                          {"\r\n+CMS ERROR: 330\r\n", true},
                                          {"\r\n+CMGL: 1,1,,30\r\n0791", false},
                                          {"\r\nOK", false},
                                          {"AT+CMGS=23\r\r\n> ", true}})
        EXPECT_EQ(phone::answerIsComplete(reply), complete) << reply;
    // An echoing phone: the echo's lone CR stays, each CR LF pair becomes one blank, NUL a TAB.
    EXPECT_EQ(phone::portLogLine("at\r\r\nOK\r\n"), QByteArray("at\r OK \r\n"));
    EXPECT_EQ(phone::portLogLine(QByteArray("a\0b", 3)), QByteArray("a\tb\r\n"));
    // A 5-second time-out lasts between 4.5 and 5.5 seconds, whatever the start.
    for (qint64 start : {0, 499, 500, 999, 86'399'600}) {
        const qint64 deadline = phone::transactionDeadlineMs(start, 5);
        EXPECT_TRUE(deadline - start >= 4500 && deadline - start <= 5500 && deadline % 1000 == 0)
            << start;
    }
}

class AtExchangeTest : public ::testing::Test {
protected:
    bool send(const QByteArray& command) {
        return exchange.SendToPhone(command, QStringLiteral("test"), QStringLiteral("OK"), 5);
    }
    QTemporaryDir home;
    config::Settings settings{home.filePath(QStringLiteral("Telvane.ini")), home.path()};
    test::FakeClock clock;
    ScriptedPort port{clock};
    contracts::EngineFigures figures;
    phone::AtExchange exchange{port, settings, clock, clock, figures};
};

TEST_F(AtExchangeTest, SilenceTimesOutAtTheRoundedDeadline) {
    for (qint64 start : {0, 400, 700}) {
        clock.ms = start;
        EXPECT_FALSE(send("at\r"));
        // The step that crosses the deadline ends it.
        EXPECT_TRUE(clock.ms - start >= 4500 && clock.ms - start <= 5500 + 257) << start;
    }
}

// The standard pacing takes the answer to a PDU once the line has been quiet, but the network's
// "+CMGS: <mr>" is heard the step it comes, so that it is recorded before a stop can come.
TEST_F(AtExchangeTest, AConfirmationIsHeardAsItComesBeforeTheAnswerEnds) {
    port.steps = {"\r\n+CMGS: 5\r\n", "\r\nOK\r\n", {}};
    contracts::Exchange submission{"0011\x1a", "test", "OK", 5};
    qint64 heardAt = -1;
    submission.onProgress = [&](const QByteArray& reply) {
        if (heardAt < 0 && reply.contains("+CMGS: 5\r\n")) heardAt = clock.ms;
    };
    const qint64 start = clock.ms;
    ASSERT_TRUE(exchange.exchange(submission).answered());
    EXPECT_GE(heardAt, start);
    EXPECT_GE(clock.ms - heardAt, 257) << "heard only when the answer ended";
}

TEST_F(AtExchangeTest, PortLogIsWrittenOnlyWhenLogIsOneIntoAFolderMadeForIt) {
    const QString logs = home.filePath(QStringLiteral("Logs/"));
    exchange.setLogFolder(logs);
    for (const auto& [log, folderExists, line] : {std::tuple{"1", false, true},
                                                  {"1", true, true},
                                                  {"0", true, false},
                                                  {"yes", true, false},
                                                  {"1.0", true, true}}) {
        QDir(logs).removeRecursively();
        if (folderExists) QDir().mkpath(logs);
        ASSERT_TRUE(settings.write(config::setting::Log, QString::fromLatin1(log)));
        port.steps = {"at\r\r\nOK\r\n", ""};
        EXPECT_TRUE(send("at\r"));
        EXPECT_EQ(test::readFile(logs + "PortLog.txt"), line ? "at\r OK \r\n" : "")
            << log << folderExists;
    }
}

TEST_F(AtExchangeTest, OpenPortNamesThePortFromTheSettings) {
    EXPECT_TRUE(exchange.OpenPort().opened());
    EXPECT_EQ(port.opened, QStringLiteral("/dev/ttyS0 9600,n,8,1"));
    EXPECT_EQ(exchange.portDescription(), QStringLiteral("COM1; 9600; n,8,1"));
    ASSERT_TRUE(settings.write(config::setting::ComPort, QStringLiteral("9")));
    ASSERT_TRUE(settings.write(config::setting::ComPortSpeedAtPortOpen, QStringLiteral("115200")));
    EXPECT_TRUE(exchange.OpenPort().opened());
    EXPECT_EQ(port.opened, QStringLiteral("/dev/ttyS8 115200,n,8,1"));
    EXPECT_EQ(exchange.portDescription(), QStringLiteral("COM9; 115200; n,8,1"));
    ASSERT_TRUE(settings.write(config::setting::ComPort, QStringLiteral("/dev/ttyUSB0")));
    port.opens = false;
    EXPECT_EQ(exchange.OpenPort().outcome, contracts::PortOpening::Outcome::NotOpened);
    EXPECT_EQ(exchange.portDescription(), QStringLiteral("/dev/ttyUSB0; 115200; n,8,1"));

    const auto even = phone::parseModeString(QStringLiteral("115200,E,7,2"));
    ASSERT_TRUE(even);
    EXPECT_TRUE(even->baudRate == 115200 && even->parity == phone::Parity::Even &&
                even->dataBits == 7 && even->stopBits == phone::StopBits::Two);
    for (const char* bad :
         {"", "9600", "9600,Q,8,1", "9600,N,9,1", "fast,N,8,1", "9600,N,8,3", "9600,N,8,1,1"})
        EXPECT_FALSE(phone::parseModeString(QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(phone::serialPortDeviceName(QStringLiteral("COM3:")), QStringLiteral("COM3"));
}

// Each read step of the port takes one chunk (a number: that many silent steps).
TEST_F(AtExchangeTest, ALateAnswerIsNeverTakenForTheNextCommands) {
    const auto play = [&](std::initializer_list<const char*> chunks) {
        for (const char* c : chunks)
            for (int n = std::isdigit(c[0]) ? std::atoi(c) : 1; n > 0; --n)
                port.steps.push_back(std::isdigit(c[0]) ? QByteArray() : QByteArray(c));
    };
    using contracts::ExchangeOutcome;
    const quint64 epoch = exchange.syncEpoch();
    EXPECT_FALSE(send("AT+CPMS=\"ME\"\r"));  // silence: the answer comes too late
    // The late OK, then the resynchronising AT's echo and its own OK; only then the command.
    play({"\r\nOK\r\n", "1", "AT\r\r\nOK\r\n", "1", "at+cmgd=1\r\r\nERROR\r\n", "1"});
    const auto deleted = exchange.exchange({"at+cmgd=1\r", "test", "OK", 5});
    EXPECT_EQ(deleted.outcome, ExchangeOutcome::Refused);
    EXPECT_EQ(port.written.mid(1), QList<QByteArray>({"\x1b\r", "AT\r", "at+cmgd=1\r"}));
    EXPECT_NE(exchange.syncEpoch(), epoch);
    // A late +CMGS comes before the resynchronising AT's own answer.
    QByteArray late;
    play({"\r\n+CMGS: 7\r\n\r\nOK\r\nAT\r\r\nOK\r\n", "1"});
    EXPECT_TRUE(exchange.resynchronise(120, &late).answered());
    EXPECT_EQ(replies::messageReferenceOf(late.toStdString()), 7);

    // A listing of 40 s goes on while bytes come; it stops 20 s after the last one, or at the
    // ceiling.
    for (const auto& [gap, ceiling, outcome] : {std::tuple{"3", 600, ExchangeOutcome::Answered},
                                                {"80", 600, ExchangeOutcome::TimedOut},
                                                {"3", 30, ExchangeOutcome::TimedOut},
                                                {"3", 0, ExchangeOutcome::TimedOut}}) {
        port.steps.clear();
        play({"AT\r\r\nOK\r\n", "1"});
        ASSERT_TRUE(exchange.resynchronise(5, nullptr).answered());
        for (int i = 0; i < 50; ++i) play({"+CMGL: 1,1,,23\r\n07912143658709F1040B\r\n", gap});
        play({"\r\nOK\r\n", "1"});
        const qint64 start = clock.ms;
        EXPECT_EQ(exchange.exchange({"AT+CMGL=4\r\n", "test", "OK", 20, ceiling}).outcome, outcome)
            << gap << ceiling;
        EXPECT_LE(clock.ms - start, qint64(ceiling ? ceiling : 20) * 1000 + 1000);
    }

    // A port that fails ends the transaction at once, and every later one; an exit request too.
    port.steps = {"\r\nO"};
    port.fails = true;
    EXPECT_EQ(exchange.exchange({"at\r", "test", "OK", 5}).outcome, ExchangeOutcome::PortLost);
    const qsizetype writes = port.written.size();
    EXPECT_TRUE(exchange.halted());
    EXPECT_EQ(exchange.exchange({"at\r", "test", "OK", 5}).outcome, ExchangeOutcome::PortLost);
    EXPECT_EQ(port.written.size(), writes);
    port.fails = false;
    ASSERT_TRUE(exchange.OpenPort().opened());
    clock.hook = [&] { exchange.interrupt(); };
    EXPECT_EQ(exchange.exchange({"at\r", "test", "OK", 5}).outcome, ExchangeOutcome::Interrupted);
}

// A raw pseudo-terminal: the line discipline must not turn CR into LF or echo anything back.
struct Pty {
    Pty() {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        this->name = QString::fromLocal8Bit(name);
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ~Pty() {
        ::close(master);
        ::close(slave);
    }
    void phoneSays(const QByteArray& bytes) const {
        EXPECT_EQ(::write(master, bytes.constData(), size_t(bytes.size())), bytes.size());
    }
    // What the gateway wrote, read until `count` bytes came or 5 seconds passed.
    QByteArray phoneHears(qsizetype count) const {
        QByteArray heard;
        char buffer[512];
        for (pollfd pfd{master, POLLIN, 0}; heard.size() < count && ::poll(&pfd, 1, 5000) > 0;)
            heard.append(buffer, ::read(master, buffer, sizeof buffer));
        return heard;
    }
    int master = -1, slave = -1;
    QString name;
};

TEST(ARCComm, BurstsWritesAndOpening) {
    Pty pty;
    phone::ARCComm comm;
    ASSERT_TRUE(comm.InitCom(pty.name, QStringLiteral("9600,N,8,1")));
    QSignalSpy dataIn(&comm, &phone::ARCComm::DataIn);
    // A burst over several read steps gives one DataIn, once a step brings nothing.
    pty.phoneSays("\r\nO");
    comm.ItIsTime();
    pty.phoneSays("K\r\n");
    comm.ItIsTime();
    EXPECT_EQ(dataIn.count(), 0);
    comm.ItIsTime();
    EXPECT_EQ(dataIn.count(), 1);
    EXPECT_EQ(comm.GetData(), QByteArray("\r\nOK\r\n"));
    // More than one read buffer is still one burst.
    pty.phoneSays(QByteArray(300, 'A'));
    for (int step = 0; step < 4 && dataIn.count() == 1; ++step) comm.ItIsTime();
    EXPECT_EQ(dataIn.count(), 2);
    EXPECT_EQ(comm.GetData(), QByteArray(300, 'A'));
    // Long texts go out whole, in pieces of 255.
    EXPECT_EQ(phone::ARCComm::writePieces(QByteArray(510, 'x')).size(), 2);
    QByteArray text;
    for (int i = 0; i < 300; ++i) text += char('0' + i % 10);
    EXPECT_TRUE(comm.WriteData(text));
    EXPECT_EQ(pty.phoneHears(300), text);
    // The port is held exclusively; closing twice is harmless.
    EXPECT_FALSE(phone::ARCComm().InitCom(pty.name, QStringLiteral("9600,N,8,1")));
    comm.FinCom();
    comm.FinCom();
    EXPECT_FALSE(comm.isOpen() || comm.WriteData("at\r"));

    // A mode string that cannot be applied is reported and leaves the device free; a missing
    // device is no configuration problem.
    QSignalSpy failures(&comm, &phone::ARCComm::configurationFailed);
    EXPECT_FALSE(comm.InitCom(pty.name, QStringLiteral("9600,Q,8,1")));
    ASSERT_EQ(failures.count(), 1);
    EXPECT_TRUE(
        failures[0][0].toString().startsWith("Unable to build Comm DCB 9600,Q,8,1 Error: "));
    comm.ComPort = pty.name;
    comm.ComSettings = QStringLiteral("19200,n,8,1");
    EXPECT_TRUE(comm.InitCom());
    EXPECT_FALSE(
        comm.InitCom(QStringLiteral("/dev/telvane-no-such-port"), QStringLiteral("9600,N,8,1")));
    EXPECT_EQ(failures.count(), 1);
}

}  // namespace
