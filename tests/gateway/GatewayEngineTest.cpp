// The poll cycle driven tick by tick, with the fake phone and a clock that only moves when told:
// which ticks test the phone, which poll, in what order the statuses come, and how every kind
// of exit request is honoured.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "config/Settings.h"
#include "gateway/GatewayEngine.h"
#include "gateway/ManualTickSource.h"
#include "store/SqliteStore.h"
#include "support/FailingStore.h"
#include "support/FakeClock.h"
#include "support/FakePhone.h"
#include "support/TestData.h"

using namespace telvane;
using contracts::ConnectOutcome;
using contracts::StatusIcon;
using contracts::StatusId;
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
            phone, settings, clock, clock, ticks, mailbox, mailbox, clock, *store, figures, log});
        QObject::connect(fresh.get(), &GatewayEngine::statusChanged,
                         [this](const QString& text) { statuses << text; });
        QObject::connect(
            fresh.get(), &GatewayEngine::startFailed,
            [this](const contracts::StartFailure& f) { failures.push_back(f.outcome); });
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
    // What the phone heard since the last call: commands without their CR, "open", "close";
    // the set-up of a connection as "setup", registration and signal as "net".
    QString heard() {
        QStringList out;
        for (const QString& entry : std::exchange(phone.log, {}))
            out << entry.section(u'|', 0, 0).remove(QStringLiteral("<CR>"));
        return out.join(u',')
            .replace("AT+CREG?,AT+CSQ", "net")
            .replace("AT+CMGF=0,AT+CMEE=1,AT+CGMM,AT+CPIN?,AT+CNMI=2,1,0,2,0,net", "setup");
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
    std::unique_ptr<test::FailingStore> store{std::make_unique<test::FailingStore>(
        store::SqliteStore::opener(home.filePath(QStringLiteral("telvane.db"))))};
    contracts::EngineFigures figures;
    test::FakeClock clock;
    storage::DiskFileSystem disk;
    storage::LogWriter log{disk, [this] { return clock.now(); }};
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
         "close,open,resync,at,setup"},
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
         "close,open,resync,close"},
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

// Start is offered only while the gateway is out of service; one that comes anyway (a queued
// click, a service's retry) opens nothing a second time.
TEST_F(GatewayEngineTest, AStartWhileConnectingInServiceDuringAPollOrAfterTheExitOpensNothing) {
    const struct {
        const char* when;
        std::function<void()> act;
        const char* heard;
    } rows[] = {
        {"while it connects",
         [&] {
             engine = load();
             clock.hook = [&] { engine->itmStart_Click(); };
             engine->itmStart_Click();
         },
         "close,open,resync,at,setup"},
        {"in service",
         [&] {
             startInService("10");
             engine->itmStart_Click();
         },
         ""},
        {"during a poll",
         [&] {
             startInService("1");
             mailbox.onRun = [&] {
                 mailbox.onRun = nullptr;
                 engine->itmStart_Click();
             };
             engine->Timer1_Timer();
         },
         "at,net,at"},
        {"after the exit",
         [&] {
             engine = load();
             engine->itmExit_Click();
             heard();
             engine->itmStart_Click();
         },
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.when);
        row.act();
        EXPECT_EQ(heard(), row.heard);
    }
}

TEST_F(GatewayEngineTest, ChecksOnTicksOneAndNineAndPollsWhenTheCounterReachesThePeriod) {
    const struct {
        const char* period;
        int ticks;
        QStringList heard;  // per tick; "at,net" is the check, "at" the poll's test
    } cases[] = {
        {"10", 11, {"at,net", "", "", "", "", "", "", "", "at,net", "at", "at,net"}},
        {"9", 10, {"at,net", "", "", "", "", "", "", "", "at,net,at", "at,net"}},
        {"1", 3, {"at,net,at", "at,net,at", "at,net,at"}},
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
    EXPECT_EQ(tick(), QStringList{"open,resync,at,setup"});
    EXPECT_EQ(engine->currentStatus().text, QStringLiteral("Пауза перед опросом телефона"));
    EXPECT_EQ(engine->currentIcon(), StatusIcon::PhoneAnswered);

    startInService("2");
    phone.script = "ooos";
    tick(2);
    EXPECT_TRUE(mailbox.runs.isEmpty());
    EXPECT_EQ(engine->currentStatus().id, StatusId::NoPhone);
    EXPECT_TRUE(ticks.isEnabled());
}

// Two polls, after a restart where said, on what the SIM and the network answer (real answers:
// see tests/data/replies/replies.tsv): what the phone heard of the PIN, which halves of the poll
// ran, the last status and "Log.txt" (its lines without date and time).
TEST_F(GatewayEngineTest, TheSimAndTheNetworkDecideWhatAPollDoes) {
    const QByteArray pin = "AT+CPIN=\"1234\"\r", sim = "AT+CPIN?\r", creg = "AT+CREG?\r";
    const QByteArray simPin = "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n",
                     refused = "\r\n+CME ERROR: 16\r\n";
    const struct {
        const char* name;
        std::map<QByteArray, QByteArray> first, second;  // answers at each poll
        bool restart;
        bool storeUnreadable;
        const char* pinSetting;
        int pinsEntered;
        QStringList runs;
        const char* lastStatus;
        QStringList log;
    } cases[] = {
        {"the PIN of the settings is taken",
         {{sim, simPin}},
         {},
         true,
         false,
         "1234",
         1,
         {"inbox", "outbox", "inbox", "outbox"},
         "Поиск файлов для отправки",
         {}},
        {"a refused PIN is never entered again",
         {{sim, simPin}, {pin, refused}},
         {{sim, simPin}},
         true,
         false,
         "1234",
         1,
         {},
         "SIM-карта не готова: SIM PIN (PIN-код из настроек не подошёл)",
         {"PIN-код не принят, повторно не вводится: +CME ERROR: 16 (incorrect password)",
          "SIM-карта не готова: SIM PIN (PIN-код из настроек не подошёл)",
          "SIM-карта не готова: SIM PIN (PIN-код из настроек не подошёл)"}},
        {"a locked SIM",
         {{sim, "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n"}},
         {},
         true,
         false,
         "",
         0,
         {"inbox", "outbox"},
         "Поиск файлов для отправки",
         {"SIM-карта не готова: SIM PUK"}},
        {"no network, then the network",
         {{creg, "\r\n+CREG: 0,2\r\n\r\nOK\r\n"}},
         {{creg, "\r\n+CREG: 0,5\r\n\r\nOK\r\n"}},
         false,
         false,
         "",
         0,
         {"inbox", "inbox", "outbox"},
         "Поиск файлов для отправки",
         {"Нет регистрации в сети (поиск сети): отправка SMS отложена",
          "Регистрация в сети (зарегистрирован (роуминг)): отправка SMS возобновлена"}},
        {"a store that cannot say which PIN was refused: none is offered, and it is said once",
         {{sim, simPin}},
         {},
         false,
         true,
         "1234",
         0,
         {"inbox", "outbox"},
         "Поиск файлов для отправки",
         {"PIN-код не вводится, пока недоступно хранилище: соединение потеряно",
          "SIM-карта не готова: SIM PIN", "SIM-карта готова"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir fresh;
        const QString logs = fresh.filePath("Logs/");
        ASSERT_TRUE(settings.write(config::setting::Logs, logs));
        ASSERT_TRUE(settings.write(config::setting::PIN, c.pinSetting));
        store->unreadable = false;
        ASSERT_TRUE(store->setFact(gateway::ModemCare::refusedPinFact(), {}));
        store->unreadable = c.storeUnreadable;
        mailbox.runs.clear();
        phone.commands.clear();
        phone.answers = c.first;
        startInService("1");
        tick();
        phone.answers = c.second;
        if (c.restart) startInService("1");
        tick();
        EXPECT_EQ(phone.commands.count(pin), c.pinsEntered);
        EXPECT_EQ(mailbox.runs, c.runs);
        EXPECT_EQ(engine->currentStatus().text, QString::fromUtf8(c.lastStatus));
        QStringList log = test::textLines(logs + "Log.txt");
        for (QString& line : log) line = line.section(u'\t', 2);
        EXPECT_EQ(log, c.log);
    }
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

TEST_F(GatewayEngineTest, ExitInServiceWaitsForTheNextTickAndDuringAPollEndsItsWait) {
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
    EXPECT_EQ(mailbox.runs, QStringList({"inbox"}));  // the outbox waits for the next start
    EXPECT_EQ(finished, 1);
    tick();
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(mailbox.runs.size(), 1);  // no second poll
}

TEST_F(GatewayEngineTest, ATickArrivingDuringATickIsDropped) {
    startInService("1");
    mailbox.onRun = [&] { engine->Timer1_Timer(); };
    tick();
    EXPECT_EQ(mailbox.runs, QStringList({"inbox", "outbox"}));
}

}  // namespace
