// The tray's status model fed by the real engine: which menu items may be chosen in each state
// the engine passes through, which icon and text it shows, and how the tooltip is cut.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>

#include "config/HomeFolder.h"
#include "config/Settings.h"
#include "gateway/GatewayEngine.h"
#include "gateway/ManualTickSource.h"
#include "tray/TrayStatusModel.h"

using namespace telvane;
using gateway::StatusId;
using tray::MenuItems;
using tray::TrayStatusModel;

namespace {

TEST(ToolTip, KeepsTheFirstSixtyThreeCharacters) {
    const QString port = QStringLiteral("Открыть порт: COM1; 9600; ");
    const struct {
        QString status;
        QString toolTip;
    } rows[] = {
        {QStringLiteral("Telvane"), QStringLiteral("Telvane")},
        {QString(63, u'я'), QString(63, u'я')},
        {QString(64, u'я'), QString(63, u'я')},
        {QString(100, u'x'), QString(63, u'x')},
        // A long port-options setting in the port text.
        {port + QString(60, u'n'), (port + QString(60, u'n')).left(63)},
        // A character outside the BMP straddling the limit goes whole, never half of it.
        {QString(62, u'a') + QStringLiteral("\U0001F4F1") + QStringLiteral("b"), QString(62, u'a')},
        {QString(61, u'a') + QStringLiteral("\U0001F4F1") + QStringLiteral("b"),
         QString(61, u'a') + QStringLiteral("\U0001F4F1")},
        {QString(), QString()},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(tray::toolTipFor(row.status), row.toolTip) << row.status.toStdString();
        TrayStatusModel model;
        model.SetStatus(row.status);
        EXPECT_EQ(model.statusText(), row.status) << "the status itself is kept whole";
        EXPECT_EQ(model.toolTip(), row.toolTip);
    }
}

TEST(StatusIcon, ApplicationIconUntilTheFirstStatusIconThenOnlyValidIndexes) {
    TrayStatusModel model;
    EXPECT_EQ(model.iconIndex(), tray::kApplicationIcon);
    std::vector<int> seen;
    QObject::connect(&model, &TrayStatusModel::iconChanged, [&](int i) { seen.push_back(i); });
    for (const int index : {4, 3, 0, 7, -1, 6, 6}) model.SetStatusIcon(index);
    EXPECT_EQ(model.iconIndex(), 6);
    // Setting the same icon again is reported again, as the engine's "set icon" always is.
    EXPECT_EQ(seen, (std::vector<int>{4, 3, 6, 6}));
}

// The phone as the engine sees it, scripted per test; the hooks run inside the phone test and
// the inbox run, which is where the tray must show the states "connecting" and "polling".
class ScriptedPhone final : public phone::PhoneLink {
public:
    bool OpenPort() override {
        if (!portOpens) {
            status->SetStatusIcon(gateway::StatusIcon::PortFailed);
            status->SetStatus(gateway::makeStatus(StatusId::PortNotOpened));
        }
        return portOpens;
    }
    bool SendToPhone(const QByteArray& command, const QString&, QString&, int) override {
        if (command == "at\r" && onTest) onTest();
        return command != "at\r" || phoneAnswers;
    }
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override {}
    void FinCom() override {}
    void setLogFolder(const QString&) override {}

    gateway::StatusSink* status = nullptr;
    bool portOpens = true;
    bool phoneAnswers = true;
    std::function<void()> onTest;

private:
    QByteArray m_buffer;
};

struct NoWaitClock final : phone::Clock {
    qint64 monotonicMs() const override { return now; }
    void pause(int ms) override { now += ms; }
    qint64 now = 0;
};

struct NoPump final : phone::EventPump {
    void run() override {}
};

struct HookInbox final : gateway::InboxRetriever {
    void RetrieveInbox(gateway::PollContext&) override {
        if (onRun) onRun();
    }
    std::function<void()> onRun;
};

struct NoOutbox final : gateway::OutboxScanner {
    void ScanOutbox(gateway::PollContext&) override {}
};

class TrayOnEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        settings.write(config::setting::PeriodAtStart, QStringLiteral("2"));
        phone.status = &engine;
        QObject::connect(&engine, &gateway::GatewayEngine::statusChanged, &model,
                         &TrayStatusModel::SetStatus);
        QObject::connect(&engine, &gateway::GatewayEngine::statusIconChanged, &model,
                         &TrayStatusModel::SetStatusIcon);
        QObject::connect(&engine, &gateway::GatewayEngine::menuChanged, &model,
                         &TrayStatusModel::setMenu);
        engine.load();
    }

    QTemporaryDir home;
    config::Settings settings{config::HomeFolder::iniPath(home.path() + u'/'), home.path()};
    ScriptedPhone phone;
    NoWaitClock clock;
    NoPump pump;
    gateway::ManualTickSource ticks;
    HookInbox inbox;
    NoOutbox outbox;
    gateway::SystemWallClock wallClock;
    gateway::GatewayEngine engine{{phone, settings, clock, pump, ticks, inbox, outbox, wallClock}};
    TrayStatusModel model;
};

constexpr MenuItems kIdle{true, true, true, true};
constexpr MenuItems kInService{false, false, true, true};
constexpr MenuItems kPolling{false, false, false, true};

TEST_F(TrayOnEngine, IdleOffersEveryItem) {
    EXPECT_EQ(model.menu(), kIdle);
    EXPECT_EQ(model.statusText(), QStringLiteral("Telvane"));
    EXPECT_EQ(model.iconIndex(), tray::kApplicationIcon);
}

TEST_F(TrayOnEngine, StartAndOptionsAreGreyedFromStartOnExitDuringEachPoll) {
    std::vector<MenuItems> whileConnecting;
    phone.onTest = [&] { whileConnecting.push_back(model.menu()); };
    engine.itmStart_Click();
    ASSERT_EQ(whileConnecting.size(), 1u);
    EXPECT_EQ(whileConnecting[0], kInService);
    EXPECT_EQ(model.menu(), kInService);
    EXPECT_EQ(model.statusText(), QStringLiteral("Связь с телефоном установлена"));
    EXPECT_EQ(model.iconIndex(), 1);

    phone.onTest = nullptr;
    std::vector<MenuItems> whilePolling;
    inbox.onRun = [&] { whilePolling.push_back(model.menu()); };
    engine.Timer1_Timer();  // tick 1: connection check
    EXPECT_EQ(model.menu(), kInService);
    EXPECT_EQ(model.statusText(), QStringLiteral("Пауза перед опросом телефона"));
    engine.Timer1_Timer();  // tick 2: the poll
    ASSERT_EQ(whilePolling.size(), 1u);
    EXPECT_EQ(whilePolling[0], kPolling);
    EXPECT_EQ(model.menu(), kPolling) << "Exit stays greyed until the next connection check";
    engine.Timer1_Timer();  // tick 1 again: the check gives Exit back
    EXPECT_EQ(model.menu(), kInService);
}

TEST_F(TrayOnEngine, FailedStartsGiveStartAndOptionsBackWithTheirIcons) {
    const struct {
        bool portOpens;
        bool phoneAnswers;
        const char* status;
        int icon;
    } rows[] = {
        {false, true, "Порт не открыт", 3},
        {true, false, "Нет связи с телефоном", 2},
    };
    for (const auto& row : rows) {
        phone.portOpens = row.portOpens;
        phone.phoneAnswers = row.phoneAnswers;
        engine.itmStart_Click();
        EXPECT_EQ(model.menu(), kIdle) << row.status;
        EXPECT_EQ(model.statusText(), QString::fromUtf8(row.status));
        EXPECT_EQ(model.iconIndex(), row.icon);
    }
}

TEST_F(TrayOnEngine, NoPhoneInServiceKeepsStartGreyed) {
    engine.itmStart_Click();
    phone.phoneAnswers = false;
    engine.Timer1_Timer();
    EXPECT_EQ(model.statusText(), QStringLiteral("Нет связи с телефоном"));
    EXPECT_EQ(model.iconIndex(), 2);
    EXPECT_EQ(model.menu(), kInService)
        << "there is no stop: Start comes back only after a failed start";
}

}  // namespace
