// The serial component over a real pseudo-terminal pair: the test plays the phone on the master
// side while ARCComm opens the slave like any serial device.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "phone/ARCComm.h"

using telvane::phone::ARCComm;

namespace {

class PtyPair {
public:
    PtyPair() {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0) {
            m_name = QString::fromLocal8Bit(name);
            // Raw: the line discipline must not turn CR into LF or echo anything back.
            termios tio{};
            ::tcgetattr(m_slave, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(m_slave, TCSANOW, &tio);
            ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair() {
        if (m_master >= 0) ::close(m_master);
        if (m_slave >= 0) ::close(m_slave);
    }
    bool isValid() const { return m_master >= 0; }
    QString slaveName() const { return m_name; }

    void phoneSays(const QByteArray& bytes) {
        ASSERT_EQ(::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size())),
                  bytes.size());
    }

    // What the gateway wrote, read until `count` bytes came or the deadline passed.
    QByteArray phoneHears(qsizetype count, int deadlineMs = 5000) {
        QByteArray heard;
        while (heard.size() < count) {
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, deadlineMs) <= 0) break;
            char buffer[512];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0) break;
            heard.append(buffer, n);
        }
        return heard;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_name;
};

class ARCCommTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.isValid());
        ASSERT_TRUE(comm.InitCom(pty.slaveName(), QStringLiteral("9600,N,8,1")));
    }
    PtyPair pty;
    ARCComm comm;
};

TEST_F(ARCCommTest, ABurstOverSeveralReadsGivesOneDataIn) {
    QSignalSpy dataIn(&comm, &ARCComm::DataIn);
    pty.phoneSays("\r\nO");
    comm.ItIsTime();
    pty.phoneSays("K\r\n");
    comm.ItIsTime();
    EXPECT_EQ(dataIn.count(), 0);
    comm.ItIsTime();  // brings nothing: the burst has ended
    EXPECT_EQ(dataIn.count(), 1);
    EXPECT_EQ(comm.GetData(), QByteArray("\r\nOK\r\n"));
    EXPECT_EQ(comm.GetData(), QByteArray());
    comm.ItIsTime();
    EXPECT_EQ(dataIn.count(), 1);
}

TEST_F(ARCCommTest, MoreThanOneBufferIsStillOneBurst) {
    QSignalSpy dataIn(&comm, &ARCComm::DataIn);
    const QByteArray list(300, 'A');
    pty.phoneSays(list);
    for (int step = 0; step < 4 && dataIn.isEmpty(); ++step) comm.ItIsTime();
    EXPECT_EQ(dataIn.count(), 1);
    EXPECT_EQ(comm.GetData(), list);
}

TEST_F(ARCCommTest, LongTextsAreWrittenInPiecesOf255) {
    const QList<QByteArray> pieces = ARCComm::writePieces(QByteArray(300, 'x'));
    ASSERT_EQ(pieces.size(), 2);
    EXPECT_EQ(pieces[0].size(), 255);
    EXPECT_EQ(pieces[1].size(), 45);
    EXPECT_EQ(ARCComm::writePieces(QByteArray(255, 'x')).size(), 1);
    EXPECT_EQ(ARCComm::writePieces(QByteArray(510, 'x')).size(), 2);
    EXPECT_TRUE(ARCComm::writePieces({}).isEmpty());

    QByteArray text;
    for (int i = 0; i < 300; ++i) text += static_cast<char>('0' + i % 10);
    EXPECT_TRUE(comm.WriteData(text));
    EXPECT_EQ(pty.phoneHears(300), text);
}

TEST_F(ARCCommTest, ClosingTwiceIsHarmlessAndTheDefaultsNameThePort) {
    comm.FinCom();
    EXPECT_FALSE(comm.isOpen());
    comm.FinCom();
    EXPECT_FALSE(comm.isOpen());
    EXPECT_FALSE(comm.WriteData("at\r"));

    comm.ComPort = pty.slaveName();
    comm.ComSettings = QStringLiteral("19200,n,8,1");
    EXPECT_TRUE(comm.InitCom());
    EXPECT_TRUE(comm.isOpen());
}

TEST_F(ARCCommTest, ThePortIsOpenedExclusively) {
    ARCComm second;
    EXPECT_FALSE(second.InitCom(pty.slaveName(), QStringLiteral("9600,N,8,1")));
}

TEST(ARCCommOpen, BadModeStringsAreReportedAndMissingDevicesAreNot) {
    PtyPair pty;
    ASSERT_TRUE(pty.isValid());
    ARCComm comm;
    QSignalSpy failures(&comm, &ARCComm::configurationFailed);
    EXPECT_FALSE(comm.InitCom(pty.slaveName(), QStringLiteral("9600,Q,8,1")));
    ASSERT_EQ(failures.count(), 1);
    EXPECT_TRUE(failures[0][0].toString().startsWith(
        QStringLiteral("Unable to build Comm DCB 9600,Q,8,1 Error: ")));
    EXPECT_FALSE(comm.isOpen());
    // The failed attempt left the device free.
    EXPECT_TRUE(comm.InitCom(pty.slaveName(), QStringLiteral("9600,n,8,1")));

    ARCComm absent;
    QSignalSpy none(&absent, &ARCComm::configurationFailed);
    EXPECT_FALSE(absent.InitCom(QStringLiteral("/dev/telvane-no-such-port"), QStringLiteral("9600,N,8,1")));
    EXPECT_EQ(none.count(), 0);
}

}  // namespace
