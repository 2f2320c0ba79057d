// The command transaction over a scripted port and a clock that moves only with the port's read
// steps: what counts as an answer, when it times out, what the port log holds, and how the port
// is named and opened from the settings.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <deque>

#include "config/Settings.h"
#include "contracts/Status.h"
#include "phone/AtExchange.h"
#include "phone/PortSettings.h"
#include "support/FakeClock.h"

using namespace telvane;
using contracts::ReplyState;

namespace {

using test::FakeClock;

struct NoPump final : contracts::EventPump {
    void run() override {}
};

// Each read step takes one chunk from the script (an empty chunk is a silent step that lasts
// the whole read time-out) and raises DataIn the way the real port does.
class ScriptedPort final : public phone::CommPort {
public:
    explicit ScriptedPort(FakeClock& clock) : m_clock(clock) {}
    bool InitCom(const QString& device, const QString& mode) override {
        openedDevice = device;
        openedMode = mode;
        return opens;
    }
    bool WriteData(const QByteArray& text) override {
        written += text;
        return true;
    }
    void ItIsTime() override {
        QByteArray chunk;
        if (!steps.empty()) {
            chunk = steps.front();
            steps.pop_front();
        }
        m_clock.now += chunk.isEmpty() ? 257 : 10;
        if (!chunk.isEmpty()) {
            m_received += chunk;
            m_pending = true;
        } else if (m_pending) {
            m_pending = false;
            emit DataIn();
        }
    }
    QByteArray GetData() override { return std::exchange(m_received, {}); }
    void PurgeBuffer() override {}
    void FinCom() override {}
    bool isOpen() const override { return true; }

    std::deque<QByteArray> steps;
    QByteArray written;
    QString openedDevice;
    QString openedMode;
    bool opens = true;

private:
    FakeClock& m_clock;
    QByteArray m_received;
    bool m_pending = false;
};

TEST(ClassifyReply, ComparesInUpperCaseAndLetsErrorWin) {
    struct Row {
        const char* reply;
        const char* wait;
        ReplyState expected;
    };
    const Row rows[] = {
        {"at\r\r\nOK\r\n", "OK", ReplyState::Answered},
        {"at\r\r\nOK\r\n", "ok", ReplyState::Answered},
        {"\r\nok\r\n", "OK", ReplyState::Answered},
        {"AT+CMGS=23\r\r\n> ", ">", ReplyState::Answered},
        {"AT+CMGS=23\r\r\n+CMS ERROR: 500\r\n", ">", ReplyState::Failed},
        {"\r\nOK\r\n\r\nERROR\r\n", "OK", ReplyState::Failed},
        {"\r\n+CME error: 10\r\n", "OK", ReplyState::Failed},
        {"at\r", "OK", ReplyState::Pending},
        {"", "OK", ReplyState::Pending},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply);
        EXPECT_EQ(contracts::classifyReply(row.reply, row.wait), row.expected);
    }
}

TEST(PortLogLine, JoinsLineBreaksAndShowsNulAsTab) {
    // An echoing phone: the echo's lone CR stays, each CR LF pair becomes one blank.
    EXPECT_EQ(phone::portLogLine("at\r\r\nOK\r\n"), QByteArray("at\r OK \r\n"));
    EXPECT_EQ(phone::portLogLine(QByteArray("a\0b", 3)), QByteArray("a\tb\r\n"));
    EXPECT_EQ(phone::portLogLine(""), QByteArray("\r\n"));
}

TEST(TransactionDeadline, IsRoundedToAWholeSecond) {
    // A 5-second time-out lasts between 4.5 and 5.5 seconds, whatever the start.
    for (qint64 start : {0, 499, 500, 999, 86'399'600}) {
        const qint64 length = phone::transactionDeadlineMs(start, 5) - start;
        EXPECT_GE(length, 4500) << start;
        EXPECT_LE(length, 5500) << start;
        EXPECT_EQ(phone::transactionDeadlineMs(start, 5) % 1000, 0);
    }
}

class AtExchangeTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    config::Settings settings{home.filePath(QStringLiteral("Telvane.ini")), home.path()};
    FakeClock clock;
    NoPump pump;
    ScriptedPort port{clock};
    phone::AtExchange exchange{port, settings, clock, pump};

    bool send(const QByteArray& command, QString& wait, int delay = 5) {
        return exchange.SendToPhone(command, QStringLiteral("test"), wait, delay);
    }
};

TEST_F(AtExchangeTest, SilenceTimesOutAtTheRoundedDeadline) {
    for (qint64 start : {0, 400, 700}) {
        clock.now = start;
        QString wait = QStringLiteral("OK");
        EXPECT_FALSE(send("at\r", wait));
        const qint64 lasted = clock.now - start;
        EXPECT_GE(lasted, 4500) << start;
        EXPECT_LE(lasted, 5500 + 257) << start;  // the step that crosses the deadline ends it
        EXPECT_EQ(wait, QStringLiteral("OK"));
    }
}

TEST_F(AtExchangeTest, PortLogIsWrittenOnlyWhenLogIsOneIntoAFolderMadeForIt) {
    const QString logs = home.filePath(QStringLiteral("Logs")) + QDir::separator();
    exchange.setLogFolder(logs);
    struct Case {
        const char* log;
        bool folderExists;
        bool expectLine;
    };
    for (const Case& c : {Case{"1", false, true}, Case{"1", true, true}, Case{"0", true, false},
                          Case{"yes", true, false}, Case{"1.0", true, true}}) {
        SCOPED_TRACE(c.log);
        QDir(logs).removeRecursively();
        if (c.folderExists) QDir().mkpath(logs);
        settings.write(config::setting::Log, QString::fromLatin1(c.log));
        port.steps = {"at\r\r\nOK\r\n", ""};
        QString wait = QStringLiteral("OK");
        EXPECT_TRUE(send("at\r", wait));
        QFile file(logs + QStringLiteral("PortLog.txt"));
        if (c.expectLine) {
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), QByteArray("at\r OK \r\n"));
        } else {
            EXPECT_FALSE(file.exists());
        }
    }
}

TEST_F(AtExchangeTest, OpenPortNamesThePortFromTheSettings) {
    struct Case {
        const char* comPort;
        const char* speed;
        QString device;
        QString statusText;
    };
    const Case cases[] = {
        {nullptr, nullptr, QStringLiteral("/dev/ttyS0"),
         QStringLiteral("Открыть порт: COM1; 9600; n,8,1")},
        {"9", "115200", QStringLiteral("/dev/ttyS8"),
         QStringLiteral("Открыть порт: COM9; 115200; n,8,1")},
        {"/dev/ttyUSB0", "19200", QStringLiteral("/dev/ttyUSB0"),
         QStringLiteral("Открыть порт: /dev/ttyUSB0; 19200; n,8,1")},
    };
    for (const Case& c : cases) {
        if (c.comPort) settings.write(config::setting::ComPort, QString::fromLatin1(c.comPort));
        if (c.speed)
            settings.write(config::setting::ComPortSpeedAtPortOpen, QString::fromLatin1(c.speed));
        EXPECT_TRUE(exchange.OpenPort().opened());
#ifndef Q_OS_WIN
        EXPECT_EQ(port.openedDevice, c.device);
#endif
        EXPECT_EQ(QStringLiteral("Открыть порт: ") + exchange.portDescription(), c.statusText);
    }
    EXPECT_EQ(port.openedMode, QStringLiteral("19200,n,8,1"));
}

TEST_F(AtExchangeTest, APortThatDoesNotOpenSaysSo) {
    port.opens = false;
    EXPECT_EQ(exchange.OpenPort().outcome, contracts::PortOpening::Outcome::NotOpened);
}

TEST(PortSettings, ParsesModeStringsAndNamesPorts) {
    const auto ok = phone::parseModeString(QStringLiteral("9600,n,8,1"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->baudRate, 9600);
    EXPECT_EQ(ok->parity, phone::Parity::None);
    const auto even = phone::parseModeString(QStringLiteral("115200,E,7,2"));
    ASSERT_TRUE(even);
    EXPECT_EQ(even->parity, phone::Parity::Even);
    EXPECT_EQ(even->dataBits, 7);
    EXPECT_EQ(even->stopBits, phone::StopBits::Two);
    for (const char* bad :
         {"", "9600", "9600,Q,8,1", "9600,N,9,1", "fast,N,8,1", "9600,N,8,3", "9600,N,8,1,1"})
        EXPECT_FALSE(phone::parseModeString(QString::fromLatin1(bad))) << bad;

    EXPECT_EQ(phone::portNameFor(QStringLiteral("1")).display, QStringLiteral("COM1"));
    EXPECT_EQ(phone::portNameFor(QStringLiteral("/tmp/modem")).display,
              QStringLiteral("/tmp/modem"));
    EXPECT_EQ(phone::serialPortDeviceName(QStringLiteral("COM3:")), QStringLiteral("COM3"));
    EXPECT_EQ(phone::serialPortDeviceName(QStringLiteral("\\\\.\\COM10")),
              QStringLiteral("\\\\.\\COM10"));
}

}  // namespace
