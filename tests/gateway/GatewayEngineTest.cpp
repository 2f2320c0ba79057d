// The poll cycle driven tick by tick, with a scripted phone and a clock that only moves when
// told: which ticks test the phone, which poll, in what order the statuses come, and how every
// kind of exit request is honoured.
#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>

#include "config/Settings.h"
#include "gateway/GatewayEngine.h"
#include "gateway/ManualTickSource.h"
#include "support/FakeClock.h"

using namespace telvane;
using contracts::StatusId;
using gateway::GatewayEngine;

namespace {

using test::FakeClock;

class HookPump final : public contracts::EventPump {
public:
    void run() override {
        if (hook) std::exchange(hook, nullptr)();
    }
    std::function<void()> hook;
};

// Answers the phone test from a script (true = "OK"); everything else answers OK.
class ScriptedPhone final : public contracts::PhoneLink {
public:
    QString portDescription() const override { return QStringLiteral("COM1; 9600; n,8,1"); }
    contracts::PortOpening OpenPort() override {
        log << QStringLiteral("open");
        return {portOpens ? contracts::PortOpening::Outcome::Opened
                          : contracts::PortOpening::Outcome::NotOpened,
                {}};
    }
    bool SendToPhone(const QByteArray& command, const QString&, QString& wait, int) override {
        log << QString::fromLatin1(command.trimmed());
        if (command == "at\r") {
            const bool answered = testAnswers.empty() ? phoneAnswers : testAnswers.front();
            if (!testAnswers.empty()) testAnswers.pop_front();
            if (!answered) return false;
        }
        (void)wait;
        return true;
    }
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override {}
    void FinCom() override { log << QStringLiteral("close"); }
    void setLogFolder(const QString&) override {}

    bool portOpens = true;
    bool phoneAnswers = true;
    std::deque<bool> testAnswers;
    QStringList log;

private:
    QByteArray m_buffer;
};

struct RecordingInbox final : contracts::InboxRetriever {
    void RetrieveInbox(contracts::PollContext&) override {
        if (onRun) onRun();
        ++runs;
    }
    std::function<void()> onRun;
    int runs = 0;
};

struct RecordingOutbox final : contracts::OutboxScanner {
    void ScanOutbox(contracts::PollContext&) override {
        if (onRun) onRun();
        ++runs;
    }
    std::function<void()> onRun;
    int runs = 0;
};

class GatewayEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        engine.load();
        QObject::connect(&engine, &GatewayEngine::statusChanged,
                         [this](const QString& text) { statuses << text; });
        QObject::connect(&engine, &GatewayEngine::startFailed,
                         [this](const gateway::StartFailure& f) { failures.push_back(f.outcome); });
        QObject::connect(&engine, &GatewayEngine::finished, [this] { ++finished; });
    }

    void setPeriod(const char* period) { settings.write(config::setting::PeriodAtStart, period); }

    void startInService() {
        engine.itmStart_Click();
        ASSERT_TRUE(ticks.isEnabled());
        phone.log.clear();
        statuses.clear();
    }

    // Ticks until the counter has run `count` ticks; what the phone heard, tick by tick.
    QStringList tick(int count = 1) {
        QStringList heard;
        for (int i = 0; i < count; ++i) {
            phone.log.clear();
            engine.Timer1_Timer();
            heard << phone.log.join(u',');
        }
        return heard;
    }

    QTemporaryDir home;
    config::Settings settings{home.filePath(QStringLiteral("Telvane.ini")), home.path()};
    FakeClock clock;
    HookPump pump;
    ScriptedPhone phone;
    gateway::ManualTickSource ticks;
    contracts::SystemWallClock wallClock;
    RecordingInbox inbox;
    RecordingOutbox outbox;
    GatewayEngine engine{{phone, settings, clock, pump, ticks, inbox, outbox, wallClock}};
    QStringList statuses;
    std::vector<gateway::ConnectOutcome> failures;
    int finished = 0;
};

TEST_F(GatewayEngineTest, LoadShowsTheIdleStatusAndKeepsThePortClosed) {
    EXPECT_EQ(engine.currentStatus().text, QStringLiteral("Telvane"));
    EXPECT_FALSE(ticks.isEnabled());
    EXPECT_TRUE(phone.log.isEmpty());
    EXPECT_EQ(engine.menu(), contracts::MenuState{});
}

TEST_F(GatewayEngineTest, StartConnectsSelectsPduModeAndEnablesTheTimer) {
    engine.itmStart_Click();
    EXPECT_EQ(statuses, QStringList({QStringLiteral("Устанавливается соединение с телефоном."),
                                     QStringLiteral("Открыть порт: COM1; 9600; n,8,1"),
                                     QStringLiteral("Связь с телефоном установлена")}));
    EXPECT_EQ(phone.log, QStringList({"close", "open", "at", "AT+CMGF=0"}));
    EXPECT_TRUE(ticks.isEnabled());
    EXPECT_EQ(engine.currentIcon(), contracts::StatusIcon::PhoneAnswered);
    EXPECT_FALSE(engine.menu().start);
    EXPECT_FALSE(engine.menu().options);
    EXPECT_TRUE(failures.empty());
}

TEST_F(GatewayEngineTest, StartFailuresReenableStartAndLeaveTheTimerOff) {
    struct Case {
        bool portOpens;
        bool phoneAnswers;
        gateway::ConnectOutcome failure;
        StatusId status;
        contracts::StatusIcon icon;
        QStringList heard;
    };
    const std::vector<Case> cases = {
        {false,
         true,
         gateway::ConnectOutcome::PortNotOpened,
         StatusId::PortNotOpened,
         contracts::StatusIcon::PortFailed,
         {"close", "open"}},
        {true,
         false,
         gateway::ConnectOutcome::PhoneSilent,
         StatusId::NoPhone,
         contracts::StatusIcon::NoPhone,
         {"close", "open", "at", "close"}},
    };
    for (const Case& c : cases) {
        GatewayEngine fresh{{phone, settings, clock, pump, ticks, inbox, outbox, wallClock}};
        std::vector<gateway::ConnectOutcome> failures;
        QObject::connect(&fresh, &GatewayEngine::startFailed,
                         [&](const gateway::StartFailure& f) { failures.push_back(f.outcome); });
        fresh.load();
        phone.portOpens = c.portOpens;
        phone.phoneAnswers = c.phoneAnswers;
        phone.log.clear();
        fresh.itmStart_Click();
        EXPECT_EQ(failures, std::vector<gateway::ConnectOutcome>{c.failure});
        EXPECT_EQ(fresh.currentStatus().id, c.status);
        EXPECT_EQ(fresh.currentIcon(), c.icon);
        EXPECT_EQ(phone.log, c.heard);
        EXPECT_FALSE(ticks.isEnabled());
        EXPECT_TRUE(fresh.menu().start);
        EXPECT_TRUE(fresh.menu().options);
    }
}

TEST_F(GatewayEngineTest, ChecksOnTicksOneAndNineAndPollsWhenTheCounterReachesThePeriod) {
    struct Case {
        const char* period;
        int ticks;
        QStringList heard;  // per tick
    };
    const QString check = QStringLiteral("at");
    const QString pollTest = QStringLiteral("at");
    const std::vector<Case> cases = {
        // Default period: ticks 1 and 9 test the phone, tick 10 polls and restarts the count.
        {"10", 11, {check, "", "", "", "", "", "", "", check, pollTest, check}},
        // Period 9: the check and the poll share tick 9.
        {"9", 10, {check, "", "", "", "", "", "", "", check + u',' + pollTest, check}},
        // Period 1: every tick polls; the first of each count is also a check.
        {"1", 3, {check + u',' + pollTest, check + u',' + pollTest, check + u',' + pollTest}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.period);
        setPeriod(c.period);
        ticks.setEnabled(false);
        GatewayEngine fresh{{phone, settings, clock, pump, ticks, inbox, outbox, wallClock}};
        fresh.load();
        fresh.itmStart_Click();
        inbox.runs = 0;
        QStringList heard;
        for (int i = 0; i < c.ticks; ++i) {
            phone.log.clear();
            fresh.Timer1_Timer();
            heard << phone.log.join(u',');
        }
        EXPECT_EQ(heard, c.heard);
    }
}

TEST_F(GatewayEngineTest, APollReadsThenSendsWithTheTimerHeldOff) {
    setPeriod("2");
    startInService();
    QStringList order;
    bool timerDuringInbox = true;
    bool timerDuringOutbox = true;
    inbox.onRun = [&] {
        order << QStringLiteral("inbox");
        timerDuringInbox = ticks.isEnabled();
    };
    outbox.onRun = [&] {
        order << QStringLiteral("outbox");
        timerDuringOutbox = ticks.isEnabled();
    };
    const qint64 before = clock.now;
    tick(2);
    EXPECT_EQ(order, QStringList({"inbox", "outbox"}));
    EXPECT_FALSE(timerDuringInbox);
    EXPECT_FALSE(timerDuringOutbox);
    EXPECT_TRUE(ticks.isEnabled());
    EXPECT_EQ(engine.tickCounter(), 0);
    EXPECT_GE(clock.now - before, 500);  // the rest between reading and sending
    EXPECT_EQ(statuses, QStringList({QStringLiteral("Пауза перед опросом телефона"),
                                     QStringLiteral("Связь с телефоном установлена"),
                                     QStringLiteral("Чтение сообщений из телефона"),
                                     QStringLiteral("Поиск файлов для отправки")}));
}

TEST_F(GatewayEngineTest, ALostPhoneIsFoundAgainAtALaterCheckWithoutUserAction) {
    setPeriod("100");
    startInService();
    phone.testAnswers = {false};  // unplugged before the first check
    EXPECT_EQ(tick(), QStringList{"at,close"});
    EXPECT_EQ(engine.currentStatus().text, QStringLiteral("Нет связи с телефоном"));
    EXPECT_EQ(engine.currentIcon(), contracts::StatusIcon::NoPhone);
    EXPECT_TRUE(ticks.isEnabled());
    tick(7);
    // Plugged back in: the check at tick 9 re-opens the port and selects PDU mode again.
    EXPECT_EQ(tick(), QStringList{"open,at,AT+CMGF=0"});
    EXPECT_EQ(engine.currentStatus().text, QStringLiteral("Пауза перед опросом телефона"));
    EXPECT_EQ(engine.currentIcon(), contracts::StatusIcon::PhoneAnswered);
}

TEST_F(GatewayEngineTest, APollThatFindsNoPhoneSkipsReadingAndSending) {
    setPeriod("2");
    startInService();
    phone.testAnswers = {true, false};
    tick(2);
    EXPECT_EQ(inbox.runs, 0);
    EXPECT_EQ(outbox.runs, 0);
    EXPECT_EQ(engine.currentStatus().id, StatusId::NoPhone);
    EXPECT_TRUE(ticks.isEnabled());
}

TEST_F(GatewayEngineTest, ExitBeforeStartEndsAtOnce) {
    engine.itmExit_Click();
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(engine.isFinished());
}

TEST_F(GatewayEngineTest, ExitAfterAFailedStartClosesThePortAndEnds) {
    for (const bool portOpens : {false, true}) {
        GatewayEngine fresh{{phone, settings, clock, pump, ticks, inbox, outbox, wallClock}};
        int ended = 0;
        QObject::connect(&fresh, &GatewayEngine::finished, [&] { ++ended; });
        fresh.load();
        phone.portOpens = portOpens;
        phone.phoneAnswers = false;
        fresh.itmStart_Click();
        phone.log.clear();
        fresh.itmExit_Click();
        EXPECT_EQ(ended, 1);
        EXPECT_TRUE(phone.log.contains(QStringLiteral("close")));
    }
}

TEST_F(GatewayEngineTest, ExitInServiceWaitsForTheNextTick) {
    setPeriod("10");
    startInService();
    engine.itmExit_Click();
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(engine.exitRequested());
    tick();
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(ticks.isEnabled());
    EXPECT_TRUE(phone.log.contains(QStringLiteral("close")));
}

TEST_F(GatewayEngineTest, ExitDuringAPollLetsThePollFinish) {
    setPeriod("1");
    startInService();
    // The click arrives while the inbox waits on the phone.
    inbox.onRun = [&] {
        pump.hook = [&] { engine.itmExit_Click(); };
        pump.run();
    };
    tick();
    EXPECT_EQ(inbox.runs, 1);
    EXPECT_EQ(outbox.runs, 1);
    EXPECT_EQ(finished, 0);
    tick();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(outbox.runs, 1);  // no second poll
}

TEST_F(GatewayEngineTest, ATickArrivingDuringATickIsDropped) {
    setPeriod("1");
    startInService();
    inbox.onRun = [&] { engine.Timer1_Timer(); };
    tick();
    EXPECT_EQ(inbox.runs, 1);
    EXPECT_EQ(outbox.runs, 1);
}

TEST_F(GatewayEngineTest, StartReadsTheWorkingSettings) {
    settings.write(config::setting::Split, QStringLiteral("[ ][tab]"));
    settings.write(config::setting::Number, QStringLiteral("42"));
    settings.write(config::setting::FileType, QStringLiteral("2 (Excel)"));
    settings.write(config::setting::Send, home.filePath(QStringLiteral("out")));
    settings.write(config::setting::PeriodAtStart, QStringLiteral("abc"));  // not a number
    engine.itmStart_Click();
    const contracts::WorkingSettings& w = engine.working();
    EXPECT_EQ(w.gfsSplit, QStringLiteral(" \t"));
    EXPECT_EQ(w.gflSMSnum, 42);
    EXPECT_EQ(w.FileType, 2);
    EXPECT_TRUE(w.gfsSend.endsWith(QStringLiteral("out/")));
    EXPECT_EQ(w.PollPeriod, 10);
}

}  // namespace
