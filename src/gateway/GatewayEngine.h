#pragma once
// The gateway's engine: start, the once-a-second poll cycle, the exit request and the
// tear-down. It alone decides the status (text and icon), the connection state and the menu's
// state, and reports every change to its front end, which only shows them and sends commands
// back.

#include <QObject>
#include <optional>

#include "contracts/PollContext.h"
#include "contracts/StartFailure.h"
#include "contracts/Status.h"
#include "gateway/ModemCare.h"

namespace telvane::gateway {

/// What a Start reads from the settings into `working` (AutoScroll stays: it is read at load).
void readWorkingSettings(const config::Settings& settings, contracts::WorkingSettings& working);

class GatewayEngine final : public QObject, public contracts::StatusSink {
    Q_OBJECT
public:
    struct Dependencies {
        contracts::PhoneLink& phone;
        const config::Settings& settings;
        contracts::Clock& clock;
        contracts::EventPump& pump;
        contracts::TickSource& ticks;
        contracts::InboxRetriever& inbox;
        contracts::OutboxScanner& outbox;
        const contracts::WallClock& wallClock;
        store::Store& store;
        contracts::EngineFigures& figures;
        storage::LogWriter& log;
        contracts::PacingProfile pacing{};
        /// This modem's identity among the gateway's; "" for a gateway of one.
        QString modem{};
        /// What the gateway's modems share; none for a gateway of one.
        contracts::ModemPool* pool = nullptr;
    };

    /// Where the engine stands with the phone.
    enum class Connection {
        Idle,        ///< never started
        Connecting,  ///< Start is opening the port and testing the phone
        InService,   ///< the phone answered; ticks and polls run
        PhoneLost,   ///< the phone stopped answering (or never did); the port is closed
        PortFailed,  ///< the port could not be opened at Start
    };

    explicit GatewayEngine(Dependencies dependencies, QObject* parent = nullptr);

    const contracts::Status& currentStatus() const override { return m_status; }
    contracts::StatusIcon currentIcon() const { return m_icon; }
    contracts::MenuState menu() const { return m_menu; }
    Connection connection() const { return m_connection; }
    qint16 tickCounter() const { return m_tickCounter; }
    const contracts::WorkingSettings& working() const { return m_working; }
    bool exitRequested() const { return m_exitTag; }
    bool isFinished() const { return m_finished; }

    // The status sink's operations keep the names the inbox and the outbox have always called.
    void SetStatus(const contracts::Status& status) override;
    void SetStatusIcon(contracts::StatusIcon icon) override;

    /// --once: connect, run exactly one poll, and report how far it got.
    contracts::ConnectOutcome runOnce();

public slots:
    /// Program start: the idle status and the values held for the whole run.
    void load();
    void itmStart_Click();
    void itmExit_Click();
    /// A message was queued (through the HTTP interface, or by another gateway sharing the
    /// store): it goes now, between polls, rather than at the next poll.
    void sendSoon();
    void Timer1_Timer();
    /// A file finished in the send folder, or the phone announced a message: served at once
    /// while in service, between polls, instead of at the next poll.
    void serveBetweenPolls();

signals:
    void statusChanged(const QString& text);
    void statusIconChanged(telvane::contracts::StatusIcon icon);
    void menuChanged(const telvane::contracts::MenuState& menu);
    /// Start failed; the front end shows startFailureTitle() and startFailureText().
    void startFailed(const telvane::contracts::StartFailure& failure);
    /// A poll has read the inbox and scanned the outbox.
    void pollFinished(const telvane::contracts::PollTally& tally);
    /// The engine has closed the port and wants the program to end.
    void finished();
    /// The network line changed: "Сеть: зарегистрирован, сигнал 17/31".
    void networkChanged(const QString& text);

private:
    /// Start's work; nullopt when the gateway is not in a state to start.
    std::optional<contracts::ConnectOutcome> start();
    contracts::ConnectOutcome ConnectPhone();
    contracts::PortOpening openPort();
    void readWorkingSettings();
    bool phoneTest();
    /// The modem's set-up once per connection (and the check at connection checks); the
    /// status text for a SIM that is not ready.
    void prepareModem(bool check);
    void losePhone();
    /// The phone is gone or an exit was asked for in the middle of a step.
    bool pollHalted();
    void connectionCheck();
    void beat();
    void poll();
    enum Work : unsigned { kReceive = 1, kSend = 2 };
    void askBetweenPolls(unsigned work);
    unsigned modemWork() const;
    contracts::PollContext pollContext();
    /// A file finished in the send folder asks for a send between polls.
    void watchOutbox();
    void tearDown();
    void setMenu(contracts::MenuState menu);

    Dependencies m_deps;
    contracts::Status m_status;
    contracts::StatusIcon m_icon = contracts::StatusIcon::PhoneAnswered;
    contracts::MenuState m_menu;
    contracts::PollTally m_tally;
    contracts::WorkingSettings m_working;
    Connection m_connection = Connection::Idle;
    qint16 m_tickCounter = 0;
    bool m_exitTag = false;
    bool m_inTick = false;
    bool m_finished = false;
    unsigned m_pendingWork = 0;  ///< Work asked for between polls, not yet done
    bool m_serveQueued = false;
    ModemCare m_care;
    QString m_network;
    std::optional<store::ModemBeat> m_lastBeat;  ///< what the store last took of this modem
};

}  // namespace telvane::gateway

Q_DECLARE_METATYPE(telvane::contracts::MenuState)
Q_DECLARE_METATYPE(telvane::contracts::PollTally)
