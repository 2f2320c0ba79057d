// The poll cycle driven tick by tick, with the fake phone and a clock that only moves when told:
// which ticks test the phone, which poll, in what order the statuses come, and how every kind
// of exit request is honoured.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "config/Settings.h"
#include "gateway/GatewayEngine.h"
#include "gateway/ManualTickSource.h"
#include "support/FakeClock.h"
#include "support/FakePhone.h"

using namespace telvane;
using contracts::StatusIcon;
using contracts::StatusId;
using gateway::ConnectOutcome;
using gateway::GatewayEngine;

namespace {

// Counts the runs of the inbox and the outbox, in order, and whether the timer was on.
struct RecordingMailbox final : contracts::InboxRetriever, contracts::OutboxScanner {
    explicit RecordingMailbox(const contracts::TickSource& ticks) : ticks(ticks) {}
    void RetrieveInbox(contracts::PollContext&) override { ran("inbox"); }
    void ScanOutbox(contracts::PollContext&) override { ran("outbox"); }
    void ran(const QString& what) {
        runs << what + (ticks.isEnabled() ? "+timer" : "");
        if (onRun) onRun();
    }
    const contracts::TickSource& ticks;
    QStringList runs;
    std::function<void()> onRun;
};

class GatewayEngineTest : public ::testing::Test {
protected:
    // A fresh engine, loaded, on the same phone and settings.
    std::unique_ptr<GatewayEngine> load() {
        ticks.setEnabled(false);
        auto fresh = std::make_unique<GatewayEngine>(GatewayEngine::Dependencies{
            phone, settings, clock, clock, ticks, mailbox, mailbox, clock});
        QObject::connect(fresh.get(), &GatewayEngine::statusChanged,
                         [this](const QString& text) { statuses << text; });
        QObject::connect(fresh.get(), &GatewayEngine::startFailed,
                         [this](const gateway::StartFailure& f) { failures.push_back(f.outcome); });
        QObject::connect(fresh.get(), &GatewayEngine::finished, [this] { ++finished; });
        fresh->load();
        return fresh;
    }
    void startInService(const char* period) {
        ASSERT_TRUE(settings.write(config::setting::PeriodAtStart, period));
        engine = load();
        engine->itmStart_Click();
        ASSERT_TRUE(ticks.isEnabled());
        heard();
        statuses.clear();
    }
    // What the phone heard since the last call: commands without their CR, "open", "close".
    QString heard() {
        QStringList out;
        for (const QString& entry : std::exchange(phone.log, {}))
            out << entry.section(u'|', 0, 0).remove(QStringLiteral("<CR>"));
        return out.join(u',');
    }
    // What the phone heard at each of `count` ticks.
    QStringList tick(int count = 1) {
        QStringList perTick;
        for (int i = 0; i < count; ++i) {
            engine->Timer1_Timer();
            perTick << heard();
        }
        return perTick;
    }

    QTemporaryDir home;
    config::Settings settings{home.filePath(QStringLiteral("Telvane.ini")), home.path()};
    test::FakeClock clock;
    test::FakePhone phone;
    gateway::ManualTickSource ticks;
    RecordingMailbox mailbox{ticks};
    QStringList statuses;
    std::vector<ConnectOutcome> failures;
    int finished = 0;
    std::unique_ptr<GatewayEngine> engine = load();
};

TEST_F(GatewayEngineTest, LoadKeepsThePortClosedAndStartConnectsOrSaysWhyNot) {
    EXPECT_EQ(engine->currentStatus().text, QStringLiteral("Telvane"));
    EXPECT_FALSE(ticks.isEnabled());
    EXPECT_EQ(heard(), QString());
    EXPECT_EQ(engine->menu(), contracts::MenuState{});
    const QStringList opening{"Устанавливается соединение с телефоном.",
                              "Открыть порт: COM1; 9600; n,8,1"};
    const struct {
        bool portOpens, phoneAnswers;
        std::vector<ConnectOutcome> failures;
        QString status;
        StatusIcon icon;
        const char* heard;
    } cases[] = {
        {true,
         true,
         {},
         "Связь с телефоном установлена",
         StatusIcon::PhoneAnswered,
         "close,open,at,AT+CMGF=0"},
        {false,
         true,
         {ConnectOutcome::PortNotOpened},
         "Порт не открыт",
         StatusIcon::PortFailed,
         "close,open"},
        {true,
         false,
         {ConnectOutcome::PhoneSilent},
         "Нет связи с телефоном",
         StatusIcon::NoPhone,
         "close,open,at,close"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heard);
        phone.portOpens = c.portOpens;
        phone.silent = !c.phoneAnswers;
        engine = load();
        statuses.clear();
        failures.clear();
        engine->itmStart_Click();
        EXPECT_EQ(failures, c.failures);
        EXPECT_EQ(statuses, opening + QStringList{c.status});
        EXPECT_EQ(engine->currentIcon(), c.icon);
        EXPECT_EQ(heard(), c.heard);
        const bool connected = c.failures.empty();
        EXPECT_EQ(ticks.isEnabled(), connected);
        EXPECT_EQ(engine->menu().start, !connected);
        EXPECT_EQ(engine->menu().options, !connected);
    }
}

TEST_F(GatewayEngineTest, ChecksOnTicksOneAndNineAndPollsWhenTheCounterReachesThePeriod) {
    const struct {
        const char* period;
        int ticks;
        QStringList heard;  // per tick; "at" is the check, "at,at" the check and the poll's test
    } cases[] = {
        {"10", 11, {"at", "", "", "", "", "", "", "", "at", "at", "at"}},
        {"9", 10, {"at", "", "", "", "", "", "", "", "at,at", "at"}},
        {"1", 3, {"at,at", "at,at", "at,at"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.period);
        startInService(c.period);
        EXPECT_EQ(tick(c.ticks), c.heard);
    }
}

TEST_F(GatewayEngineTest, APollReadsThenSendsWithTheTimerHeldOff) {
    startInService("2");
    const qint64 before = clock.ms;
    tick(2);
    EXPECT_EQ(mailbox.runs, QStringList({"inbox", "outbox"}));
    EXPECT_TRUE(ticks.isEnabled());
    EXPECT_EQ(engine->tickCounter(), 0);
    EXPECT_GE(clock.ms - before, 500);  // the rest between reading and sending
    EXPECT_EQ(statuses,
              QStringList({"Пауза перед опросом телефона", "Связь с телефоном установлена",
                           "Чтение сообщений из телефона", "Поиск файлов для отправки"}));
}

TEST_F(GatewayEngineTest, ALostPhoneIsFoundAgainAtALaterCheckAndAPollWithoutItSkipsTheMail) {
    startInService("100");
    phone.script = "s";  // unplugged before the first check
    EXPECT_EQ(tick(), QStringList{"at,close"});
    EXPECT_EQ(engine->currentStatus().id, StatusId::NoPhone);
    EXPECT_EQ(engine->currentIcon(), StatusIcon::NoPhone);
    EXPECT_TRUE(ticks.isEnabled());
    tick(7);
    // Plugged back in: the check at tick 9 re-opens the port and selects PDU mode again.
    EXPECT_EQ(tick(), QStringList{"open,at,AT+CMGF=0"});
    EXPECT_EQ(engine->currentStatus().text, QStringLiteral("Пауза перед опросом телефона"));
    EXPECT_EQ(engine->currentIcon(), StatusIcon::PhoneAnswered);

    startInService("2");
    phone.script = "os";
    tick(2);
    EXPECT_TRUE(mailbox.runs.isEmpty());
    EXPECT_EQ(engine->currentStatus().id, StatusId::NoPhone);
    EXPECT_TRUE(ticks.isEnabled());
}

TEST_F(GatewayEngineTest, ExitBeforeStartOrAfterAFailedStartEndsAtOnce) {
    engine->itmExit_Click();
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(engine->isFinished());
    phone.silent = true;
    for (const bool portOpens : {false, true}) {
        phone.portOpens = portOpens;
        engine = load();
        engine->itmStart_Click();
        heard();
        engine->itmExit_Click();
        EXPECT_EQ(finished, portOpens ? 3 : 2);
        EXPECT_TRUE(heard().contains("close"));
    }
}

TEST_F(GatewayEngineTest, ExitInServiceWaitsForTheNextTickAndDuringAPollLetsItFinish) {
    startInService("10");
    engine->itmExit_Click();
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(engine->exitRequested());
    EXPECT_TRUE(tick().constFirst().contains("close"));
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(ticks.isEnabled());

    startInService("1");
    // The click arrives while the inbox waits on the phone.
    mailbox.onRun = [&] {
        clock.hook = [&] { engine->itmExit_Click(); };
        clock.run();
        mailbox.onRun = nullptr;
    };
    tick();
    EXPECT_EQ(mailbox.runs, QStringList({"inbox", "outbox"}));
    EXPECT_EQ(finished, 1);
    tick();
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(mailbox.runs.size(), 2);  // no second poll
}

TEST_F(GatewayEngineTest, ATickArrivingDuringATickIsDropped) {
    startInService("1");
    mailbox.onRun = [&] { engine->Timer1_Timer(); };
    tick();
    EXPECT_EQ(mailbox.runs, QStringList({"inbox", "outbox"}));
}

}  // namespace
