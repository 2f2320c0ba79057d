#pragma once
// The gateway's engine: start, the once-a-second poll cycle, the exit request and the
// tear-down. It holds the status (text and icon) and the menu's state, and reports every change
// to its front end, which only shows them and sends commands back.

#include <QObject>

#include "gateway/PollServices.h"
#include "gateway/Status.h"

namespace telvane::gateway {

struct MenuState {
    bool start = true;
    bool options = true;
    bool exit = true;
    bool about = true;
    bool operator==(const MenuState&) const = default;
};

/// Why Start did not put the gateway in service.
enum class StartFailure { PortNotOpened, PhoneSilent };

/// The texts of the start-failure message boxes.
QString startFailureTitle();
QString startFailureText(StartFailure failure);

class GatewayEngine final : public QObject, public StatusSink {
    Q_OBJECT
public:
    struct Dependencies {
        phone::PhoneLink& phone;
        const config::Settings& settings;
        phone::Clock& clock;
        phone::EventPump& pump;
        TickSource& ticks;
        InboxRetriever& inbox;
        OutboxScanner& outbox;
        const WallClock& wallClock;
        phone::PacingProfile pacing{};
    };

    enum class ConnectResult { Connected, PortNotOpened, PhoneSilent };

    explicit GatewayEngine(Dependencies dependencies, QObject* parent = nullptr);

    const Status& currentStatus() const override { return m_status; }
    StatusIcon currentIcon() const { return m_icon; }
    MenuState menu() const { return m_menu; }
    qint16 tickCounter() const { return m_tickCounter; }
    qint16 autoScroll() const { return m_autoScroll; }
    const WorkingSettings& working() const { return m_working; }
    bool exitRequested() const { return m_exitTag; }
    bool isFinished() const { return m_finished; }

    void SetStatus(const Status& status) override;
    void SetStatusIcon(StatusIcon icon) override;

    /// --once: connect, run exactly one poll, and report how far it got.
    ConnectResult runOnce();

public slots:
    /// Program start: the idle status and the values held for the whole run.
    void load();
    void itmStart_Click();
    void itmExit_Click();
    void Timer1_Timer();

signals:
    void statusChanged(const QString& text);
    void statusIconChanged(int index);
    void menuChanged(bool start, bool options, bool exit, bool about);
    /// Start failed; the front end shows startFailureTitle() and startFailureText().
    void startFailed(telvane::gateway::StartFailure failure);
    /// The engine has closed the port and wants the program to end.
    void finished();

private:
    ConnectResult ConnectPhone();
    void readWorkingSettings();
    bool phoneTest();
    void selectPduModeOnce();
    void connectionCheck();
    void poll();
    void tearDown();
    void setMenu(MenuState menu);

    Dependencies m_deps;
    Status m_status;
    StatusIcon m_icon = StatusIcon::PhoneAnswered;
    MenuState m_menu;
    WorkingSettings m_working;
    qint16 m_tickCounter = 0;
    qint16 m_autoScroll = 0;
    bool m_exitTag = false;
    bool m_inTick = false;
    bool m_connecting = false;
    bool m_pduModeSelected = false;
    bool m_finished = false;
};

}  // namespace telvane::gateway

Q_DECLARE_METATYPE(telvane::gateway::StartFailure)
