// The real serial component and command transaction against the simulated modem: what a modem
// really answers (echo, OK in any case, numbered errors, silence) and how the transaction reads it.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "config/Settings.h"
#include "contracts/Status.h"
#include "phone/ARCComm.h"
#include "phone/AtExchange.h"
#include "support/SimulatedModem.h"

using namespace telvane;

namespace {

// Real pauses, but a deadline that is reached after a few read steps rather than seconds: the
// clock jumps a second each time the transaction lets pending events run.
class JumpingClock final : public contracts::Clock, public contracts::EventPump {
public:
    qint64 monotonicMs() const override { return m_now; }
    void pause(int) override {}
    void run() override { m_now += jump; }
    qint64 jump = 0;

private:
    qint64 m_now = 0;
};

class SendToPhoneSimulatorTest : public ::testing::Test {
protected:
    void open(test::SimulatedModemOptions options = {}) {
        modem = std::make_unique<test::SimulatedModem>(std::move(options));
        ASSERT_TRUE(modem->start()) << modem->errorString().toStdString();
        settings.write(config::setting::ComPort, modem->linkPath());
        ASSERT_TRUE(exchange.OpenPort().opened());
    }
    bool send(const QByteArray& command, int delay = 5, const QString& wait = QStringLiteral("OK")) {
        return exchange.SendToPhone(command, QStringLiteral("test"), wait, delay);
    }

    QTemporaryDir home;
    config::Settings settings{home.filePath(QStringLiteral("Telvane.ini")), home.path()};
    JumpingClock clock;
    phone::ARCComm port;
    phone::AtExchange exchange{port, settings, clock, clock};
    std::unique_ptr<test::SimulatedModem> modem;
};

TEST_F(SendToPhoneSimulatorTest, AnswersAreReadAsTheModemGivesThem) {
    open();
    const struct {
        QByteArray command;
        QString wait;
        bool result;
        QByteArray replyHas;
    } rows[] = {
        // Echo is on, as on a real modem: the reply starts with the command.
        {"at\r", QStringLiteral("OK"), true, "at\r\r\nOK\r\n"},
        {"at\r", QStringLiteral("ok"), true, "OK"},
        {"AT+CMGF=0\r", QStringLiteral("OK"), true, "OK"},
        {"AT+CPMS=\"SM\"\r\n", QStringLiteral("OK"), true, "+CPMS:"},
        {"AT+NOSUCHTHING\r", QStringLiteral("OK"), false, "ERROR"},
        {"at+cmgd=77\r", QStringLiteral("OK"), false, "ERROR"},  // deleting an empty place
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command.toStdString());
        EXPECT_EQ(send(row.command, 5, row.wait), row.result);
        EXPECT_TRUE(exchange.gsBuffer().contains(row.replyHas)) << exchange.gsBuffer().toStdString();
    }
}

TEST_F(SendToPhoneSimulatorTest, ASilentModemTimesOut) {
    open({{}, {}, {QStringLiteral("silent")}, {}});
    clock.jump = 1000;
    EXPECT_FALSE(send("at\r"));
    EXPECT_TRUE(exchange.gsBuffer().isEmpty());
}

TEST_F(SendToPhoneSimulatorTest, AnAnswerThatComesLateLandsInTheNextTransaction) {
    open({{}, {}, {QStringLiteral("slow=1500")}, {}});
    clock.jump = 1000;
    EXPECT_FALSE(send("ATI\r", 1));  // given up before the modem answered
    clock.jump = 0;
    EXPECT_TRUE(send("at\r"));
    // The first command's whole answer comes first in the second one's reply.
    EXPECT_TRUE(exchange.gsBuffer().startsWith("ATI\r\r\n")) << exchange.gsBuffer().toStdString();
}

}  // namespace
