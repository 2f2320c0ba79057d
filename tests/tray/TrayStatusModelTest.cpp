// The tray's status model fed by the real engine: which menu items may be chosen in each state
// the engine passes through, which icon and text it shows, and how the tooltip is cut.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>

#include "config/HomeFolder.h"
#include "config/Settings.h"
#include "gateway/GatewayEngine.h"
#include "gateway/ManualTickSource.h"
#include "gateway/NoPollServices.h"
#include "tray/TrayStatusModel.h"

using namespace telvane;
using tray::MenuItems;
using tray::TrayStatusModel;

namespace {

TEST(ToolTip, KeepsTheFirstSixtyThreeCharactersAndTheStatusWhole) {
    const QString port = QStringLiteral("Открыть порт: COM1; 9600; ") + QString(60, u'n');
    const QString mobile = QStringLiteral("\U0001F4F1");  // outside the BMP: two UTF-16 units
    const struct {
        QString status;
        QString toolTip;
    } rows[] = {
        {QStringLiteral("Telvane"), QStringLiteral("Telvane")},
        {QString(63, u'я'), QString(63, u'я')},
        {QString(64, u'я'), QString(63, u'я')},
        {port, port.left(63)},
        // A character straddling the limit goes whole, never half of it.
        {QString(62, u'a') + mobile + u'b', QString(62, u'a')},
        {QString(61, u'a') + mobile + u'b', QString(61, u'a') + mobile},
        {QString(), QString()},
    };
    for (const auto& row : rows) {
        TrayStatusModel model;
        model.SetStatus(row.status);
        EXPECT_EQ(model.statusText(), row.status);
        EXPECT_EQ(model.toolTip(), row.toolTip) << row.status.toStdString();
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

// The phone as the engine sees it, scripted per test. The hooks run inside the phone test and
// the inbox run, which is where the tray must show the states "connecting" and "polling"; the
// clock advances instead of waiting.
struct ScriptedWorld final : phone::PhoneLink,
                             phone::Clock,
                             phone::EventPump,
                             gateway::InboxRetriever {
    bool OpenPort() override {
        if (!portOpens) {
            status->SetStatusIcon(gateway::StatusIcon::PortFailed);
            status->SetStatus(gateway::makeStatus(gateway::StatusId::PortNotOpened));
        }
        return portOpens;
    }
    bool SendToPhone(const QByteArray& command, const QString&, QString&, int) override {
        if (command == "at\r" && onTest) onTest();
        return command != "at\r" || phoneAnswers;
    }
    const QByteArray& gsBuffer() const override { return buffer; }
    void PurgeBuffer() override {}
    void FinCom() override {}
    void setLogFolder(const QString&) override {}
    qint64 monotonicMs() const override { return now; }
    void pause(int ms) override { now += ms; }
    void run() override {}
    void RetrieveInbox(gateway::PollContext&) override {
        if (onPoll) onPoll();
    }

    gateway::StatusSink* status = nullptr;
    bool portOpens = true;
    bool phoneAnswers = true;
    std::function<void()> onTest;
    std::function<void()> onPoll;
    QByteArray buffer;
    qint64 now = 0;
};

class TrayOnEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        settings.write(config::setting::PeriodAtStart, QStringLiteral("2"));
        world.status = &engine;
        using gateway::GatewayEngine;
        QObject::connect(&engine, &GatewayEngine::statusChanged, &model,
                         &TrayStatusModel::SetStatus);
        QObject::connect(&engine, &GatewayEngine::statusIconChanged, &model,
                         &TrayStatusModel::SetStatusIcon);
        QObject::connect(&engine, &GatewayEngine::menuChanged, &model, &TrayStatusModel::setMenu);
        engine.load();
    }

    void expectShown(const MenuItems& menu, const char* status, int icon) const {
        EXPECT_EQ(model.menu(), menu) << status;
        EXPECT_EQ(model.statusText(), QString::fromUtf8(status));
        EXPECT_EQ(model.iconIndex(), icon) << status;
    }

    QTemporaryDir home;
    config::Settings settings{config::HomeFolder::iniPath(home.path() + u'/'), home.path()};
    ScriptedWorld world;
    gateway::ManualTickSource ticks;
    gateway::NoOutbox outbox;
    gateway::SystemWallClock wallClock;
    gateway::GatewayEngine engine{{world, settings, world, world, ticks, world, outbox, wallClock}};
    TrayStatusModel model;
};

constexpr MenuItems kIdle{true, true, true, true};
constexpr MenuItems kInService{false, false, true, true};
constexpr MenuItems kPolling{false, false, false, true};

TEST_F(TrayOnEngine, StartAndOptionsGreyFromStartExitDuringEachPoll) {
    expectShown(kIdle, "Telvane", tray::kApplicationIcon);
    std::vector<MenuItems> whileConnecting;
    world.onTest = [&] { whileConnecting.push_back(model.menu()); };
    engine.itmStart_Click();
    EXPECT_EQ(whileConnecting, std::vector<MenuItems>{kInService});
    expectShown(kInService, "Связь с телефоном установлена", 1);

    world.onTest = nullptr;
    std::vector<MenuItems> whilePolling;
    world.onPoll = [&] { whilePolling.push_back(model.menu()); };
    engine.Timer1_Timer();  // tick 1: connection check
    expectShown(kInService, "Пауза перед опросом телефона", 1);
    engine.Timer1_Timer();  // tick 2: the poll
    EXPECT_EQ(whilePolling, std::vector<MenuItems>{kPolling});
    EXPECT_EQ(model.menu(), kPolling) << "Exit stays greyed until the next connection check";
    engine.Timer1_Timer();  // tick 1 again: the check gives Exit back
    EXPECT_EQ(model.menu(), kInService);

    world.phoneAnswers = false;
    engine.Timer1_Timer();  // a poll, then the check finds no phone
    engine.Timer1_Timer();
    // There is no stop: Start comes back only after a failed start.
    expectShown(kInService, "Нет связи с телефоном", 2);
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
        world.portOpens = row.portOpens;
        world.phoneAnswers = row.phoneAnswers;
        engine.itmStart_Click();
        expectShown(kIdle, row.status, row.icon);
    }
}

}  // namespace
