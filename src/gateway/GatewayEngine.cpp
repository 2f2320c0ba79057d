#include "gateway/GatewayEngine.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <tuple>
#include <utility>

#include "ModemCommands.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "contracts/EngineFigures.h"
#include "lifecycle/Retention.h"

Q_LOGGING_CATEGORY(lcGateway, "telvane.gateway", QtInfoMsg)

namespace telvane::gateway {

namespace setting = config::setting;
using contracts::ConnectOutcome;
using contracts::makeStatus;
using contracts::MenuState;
using contracts::PortOpening;
using contracts::StatusIcon;
using contracts::StatusId;

GatewayEngine::GatewayEngine(Dependencies dependencies, QObject* parent)
    : QObject(parent),
      m_deps(dependencies),
      m_status(makeStatus(StatusId::Idle)),
      m_care(m_deps.phone, m_deps.store, m_deps.figures, m_deps.settings, m_deps.log,
             m_deps.pacing.echoOff) {
    qRegisterMetaType<telvane::contracts::StartFailure>();
    qRegisterMetaType<telvane::contracts::MenuState>();
    qRegisterMetaType<telvane::contracts::PollTally>();
    qRegisterMetaType<telvane::contracts::StatusIcon>();
    m_deps.phone.setArrivalListener([this] { askBetweenPolls(kReceive); });
}

void GatewayEngine::SetStatus(const contracts::Status& status) {
    m_status = status;
    contracts::EngineFigures& figures = m_deps.figures;
    figures.statusId = static_cast<int>(status.id);
    figures.inService = m_connection == Connection::InService;
    switch (status.id) {
        case StatusId::WritingMessage:
            ++m_tally.received;
            break;
        case StatusId::Sent:
        case StatusId::PartSent:
            ++m_tally.sent;
            ++figures.partsSent;
            break;
        case StatusId::NotSent:
        case StatusId::PartNotSent:
            ++m_tally.notSent;
            ++figures.partsRefused;
            break;
        default:
            break;
    }
    qCDebug(lcGateway).noquote() << "status:" << status.text;
    emit statusChanged(status.text);
}

void GatewayEngine::SetStatusIcon(StatusIcon icon) {
    m_icon = icon;
    emit statusIconChanged(icon);
}

void GatewayEngine::setMenu(MenuState menu) {
    if (menu == m_menu) return;
    m_menu = menu;
    emit menuChanged(menu);
}

void GatewayEngine::load() {
    SetStatus(makeStatus(StatusId::Idle));
    m_working.autoScroll = m_deps.settings.strictInt16(setting::AutoScroll) == 1;
}

void GatewayEngine::itmStart_Click() { (void)start(); }

std::optional<ConnectOutcome> GatewayEngine::start() {
    // Start is offered only while the gateway is out of service; a command that arrives
    // anyway (a queued click, a service retry) must not open the port a second time.
    if (m_finished || m_connection == Connection::Connecting || m_inTick ||
        m_deps.ticks.isEnabled())
        return std::nullopt;
    SetStatusIcon(StatusIcon::Working);
    SetStatus(makeStatus(StatusId::Connecting));
    MenuState menu = m_menu;
    menu.start = false;
    menu.options = false;
    setMenu(menu);
    return ConnectPhone();
}

namespace {

// [SMS] FileType as the format of the day's file; none for a number that names none.
std::optional<contracts::DayFileFormat> dayFileFormat(const config::Settings& settings) {
    switch (settings.leadingNumber32(setting::FileType)) {
        case 0:
            return contracts::DayFileFormat::Text;
        case 1:
            return contracts::DayFileFormat::Document;
        case 2:
            return contracts::DayFileFormat::Workbook;
        default:
            return std::nullopt;
    }
}

}  // namespace

void readWorkingSettings(const config::Settings& settings, contracts::WorkingSettings& working) {
    working.dayFile = dayFileFormat(settings);
    working.separator = settings.separator();
    working.pollPeriod = settings.strictInt16(setting::PeriodAtStart);
    working.sendFolder = settings.folder(setting::Send);
    working.receiveFolder = settings.folder(setting::Receive);
    working.logFolder = settings.folder(setting::Logs);
    working.sentFolder = settings.optionalFolder(setting::Sent);
    working.failedFolder = settings.optionalFolder(setting::Failed);
    working.nextNumber = settings.strictInt32(setting::Number);
    working.encoding = config::textEncoding(settings);
    working.host = settings.gatewayName();
}

void GatewayEngine::readWorkingSettings() {
    gateway::readWorkingSettings(m_deps.settings, m_working);
    m_working.modem = m_deps.modem;
    m_deps.phone.setLogFolder(m_working.logFolder);
    m_deps.log.setPlace(m_working.logFolder, m_working.encoding);
}

PortOpening GatewayEngine::openPort() {
    SetStatus(makeStatus(StatusId::OpeningPort, m_deps.phone.portDescription()));
    m_deps.pump.run();
    PortOpening opening = m_deps.phone.OpenPort();
    if (!opening.opened()) {
        SetStatusIcon(StatusIcon::PortFailed);
        SetStatus(makeStatus(StatusId::PortNotOpened));
    }
    return opening;
}

ConnectOutcome GatewayEngine::ConnectPhone() {
    m_connection = Connection::Connecting;
    MenuState menu = m_menu;
    menu.options = false;
    setMenu(menu);
    readWorkingSettings();
    m_deps.phone.FinCom();

    ConnectOutcome outcome = ConnectOutcome::Connected;
    const PortOpening opening = openPort();
    if (!opening.opened()) {
        m_connection = Connection::PortFailed;
        outcome = ConnectOutcome::PortNotOpened;
    } else if (phoneTest()) {
        prepareModem(false);
        if (m_care.simReady()) {
            SetStatusIcon(StatusIcon::PhoneAnswered);
            SetStatus(makeStatus(StatusId::PhoneConnected));
        }
        m_connection = Connection::InService;
        m_deps.ticks.setEnabled(true);
        watchOutbox();
    } else {
        losePhone();
        outcome = ConnectOutcome::PhoneSilent;
    }

    if (outcome != ConnectOutcome::Connected) {
        emit startFailed({outcome, opening.problem, m_working.pollPeriod});
        menu = m_menu;
        menu.start = true;
        menu.options = true;
        setMenu(menu);
        // An exit asked for while connecting would otherwise wait for a tick that never comes.
        if (m_exitTag) tearDown();
    }
    return outcome;
}

bool GatewayEngine::phoneTest() { return m_deps.phone.exchange(commands::test()).answered(); }

void GatewayEngine::prepareModem(bool check) {
    if (!m_care.setUp() && check) m_care.check();
    if (m_care.network() != m_network && !m_care.network().isEmpty()) {
        m_network = m_care.network();
        emit networkChanged(m_network);
    }
    if (m_care.simReady()) return;
    SetStatusIcon(StatusIcon::NoPhone);
    SetStatus(makeStatus(StatusId::SimNotReady, m_care.simProblem()));
}

bool GatewayEngine::pollHalted() {
    if (!m_deps.phone.halted()) return false;
    // An exit request ends the poll here and the program at the next tick; a lost port is a
    // lost phone, found again at a later check.
    if (!m_exitTag) losePhone();
    return true;
}

void GatewayEngine::losePhone() {
    SetStatusIcon(StatusIcon::NoPhone);
    SetStatus(makeStatus(StatusId::NoPhone));
    m_deps.phone.FinCom();
    m_connection = Connection::PhoneLost;
    m_deps.figures.inService = false;
}

void GatewayEngine::Timer1_Timer() {
    // A tick that arrives while another is still waiting on the phone is dropped: one phone
    // transaction and one poll at a time.
    if (m_inTick || m_finished) return;
    m_inTick = true;
    ++m_tickCounter;
    if (m_tickCounter == 1 || m_tickCounter % 9 == 0) connectionCheck();
    if (m_exitTag) {
        m_deps.ticks.setEnabled(false);
        m_inTick = false;
        tearDown();
        return;
    }
    if (m_tickCounter >= m_working.pollPeriod) {
        m_tickCounter = 0;
        poll();
    }
    m_inTick = false;
    // Asked for while this tick was busy with the phone.
    if (m_pendingWork != 0) askBetweenPolls(0);
}

contracts::PollContext GatewayEngine::pollContext() {
    return {m_deps.phone, *this,          m_working,     m_deps.settings,
            m_deps.clock, m_deps.pump,    m_deps.pacing, m_deps.wallClock,
            m_deps.store, m_deps.figures, m_deps.log,    m_deps.pool};
}

void GatewayEngine::watchOutbox() {
    m_deps.outbox.watch(m_working.sendFolder, m_deps.wallClock, [this] { askBetweenPolls(kSend); });
}

void GatewayEngine::sendSoon() { askBetweenPolls(kSend); }

void GatewayEngine::askBetweenPolls(unsigned work) {
    m_pendingWork |= work;
    if (m_serveQueued) return;
    m_serveQueued = true;
    // Queued: the ask may come from inside a transaction (an announcement read with an answer).
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_serveQueued = false;
            serveBetweenPolls();
        },
        Qt::QueuedConnection);
}

void GatewayEngine::serveBetweenPolls() {
    if (m_pendingWork == 0) return;
    // Out of service the next poll finds everything anyway; a busy tick asks again as it ends.
    if (m_finished || m_exitTag || m_connection != Connection::InService) {
        m_pendingWork = 0;
        return;
    }
    if (m_inTick || !m_deps.ticks.isEnabled()) return;
    if (m_care.simLocked()) {
        m_pendingWork = 0;
        return;
    }
    const unsigned work = std::exchange(m_pendingWork, 0) & modemWork();
    // The timer keeps running (a tick that comes meanwhile is dropped as during a poll), so
    // that a steady stream of files cannot hold the poll and the connection check off.
    m_inTick = true;
    m_tally = {};
    contracts::PollContext context = pollContext();
    if (work & kReceive) {
        SetStatusIcon(StatusIcon::PhoneAnswered);
        SetStatus(makeStatus(StatusId::ReadingMessages));
        m_deps.inbox.RetrieveInbox(context);
    }
    if ((work & kSend) && !pollHalted() && !m_care.sendingHeld()) m_deps.outbox.ScanOutbox(context);
    (void)pollHalted();
    m_inTick = false;
    emit pollFinished(m_tally);
    if (m_pendingWork != 0) askBetweenPolls(0);
}

// A modem of several may be kept for receiving only, or for sending only.
unsigned GatewayEngine::modemWork() const {
    return (m_deps.settings.text(setting::ModemReceives).trimmed() == u"0" ? 0u : kReceive) |
           (m_deps.settings.text(setting::ModemSends).trimmed() == u"0" ? 0u : kSend);
}

void GatewayEngine::connectionCheck() {
    if (m_connection == Connection::PhoneLost) (void)openPort();
    if (phoneTest()) {
        m_connection = Connection::InService;
        prepareModem(true);
        if (m_care.simReady()) {
            SetStatusIcon(StatusIcon::PhoneAnswered);
            SetStatus(makeStatus(StatusId::WaitingForPoll));
        }
        (void)pollHalted();
    } else {
        losePhone();
    }
    beat();
}

// Every gateway sharing the store shows every modem: each says how its own is, when that changed
// and every third check (a pool of 64 modems would otherwise write seven times a second for
// nothing). A store that does not take it says so where it matters, at the next poll.
void GatewayEngine::beat() {
    const contracts::EngineFigures& f = m_deps.figures;
    const auto [model, operatorName] = f.modem();
    store::ModemBeat b;
    b.host = m_working.host;
    b.name = m_deps.modem;
    b.port = m_deps.settings.text(setting::ComPort);
    b.model = QString::fromStdString(model);
    b.operatorName = QString::fromStdString(operatorName);
    b.registration = f.knownRegistration();
    b.signal = f.knownSignal();
    b.inService = f.inService;
    b.seen = m_deps.wallClock.now();
    if (const auto sent = m_deps.store.partsSentBy(m_deps.modem, store::startOfDay(b.seen)))
        b.sentToday = *sent;
    if (const QString cap = m_deps.settings.text(setting::PerDay).trimmed(); !cap.isEmpty())
        b.limitLeft = std::max(0, m_deps.settings.strictInt32(setting::PerDay) - b.sentToday);
    const QDateTime blocked = QDateTime::fromMSecsSinceEpoch(f.blockedUntilMs);
    if (f.blockedUntilMs != 0 && blocked > b.seen) b.blockedUntil = blocked;
    const auto said = [](const store::ModemBeat& m) {
        return std::tuple(m.port, m.model, m.operatorName, m.registration, m.signal, m.inService,
                          m.sentToday, m.limitLeft, m.blockedUntil);
    };
    constexpr qint64 kBeatEveryS = 27;
    if (m_lastBeat && said(*m_lastBeat) == said(b) && m_lastBeat->seen.secsTo(b.seen) < kBeatEveryS)
        return;
    if (m_deps.store.beat(b)) m_lastBeat = b;
}

void GatewayEngine::poll() {
    if (m_connection == Connection::PhoneLost) {
        SetStatusIcon(StatusIcon::Working);
        // A port that does not open shows in the phone test that follows.
        (void)openPort();
    }
    if (!phoneTest()) {
        losePhone();
        return;
    }
    m_connection = Connection::InService;
    // The messages wait in the phone and the files in the folder while the SIM is not ready.
    prepareModem(false);
    if (m_care.simLocked() || pollHalted()) return;
    SetStatusIcon(StatusIcon::PhoneAnswered);
    SetStatus(makeStatus(StatusId::PhoneConnected));
    m_deps.ticks.setEnabled(false);
    m_tally = {};
    // A poll does everything asked for between polls; a send folder made since gets a watch.
    m_pendingWork = 0;
    watchOutbox();
    QElapsedTimer took;
    took.start();
    contracts::PollContext context = pollContext();
    if (modemWork() & kReceive) {
        SetStatus(makeStatus(StatusId::ReadingMessages));
        m_deps.inbox.RetrieveInbox(context);
    }
    if (!pollHalted() && (modemWork() & kSend)) {
        m_deps.clock.pause(m_deps.pacing.shortPauseMs);
        m_deps.pump.run();
        SetStatus(makeStatus(StatusId::SearchingOutbox));
        // Without a network a submission can only fail: the files wait, the reading goes on.
        if (m_care.sendingHeld())
            SetStatus(makeStatus(StatusId::WaitingForNetwork));
        else
            m_deps.outbox.ScanOutbox(context);
        (void)pollHalted();
    }
    // What is finished does not stay for ever; once a day, between polls' work.
    (void)lifecycle::tidy(m_deps.store, m_deps.settings, m_deps.wallClock.now());
    m_deps.ticks.setEnabled(true);
    m_deps.figures.recordPoll(took.elapsed());
    emit pollFinished(m_tally);
}

void GatewayEngine::itmExit_Click() {
    if (m_finished) return;
    if (m_connection == Connection::Idle) {
        tearDown();
        return;
    }
    const bool outOfService =
        m_connection == Connection::PhoneLost || m_connection == Connection::PortFailed;
    if (outOfService && !m_inTick) {
        m_deps.phone.FinCom();
        tearDown();
        return;
    }
    // In service, or in the middle of a step: honoured at the next tick (or when connecting
    // ends). A wait on the phone ends at once, and no further command goes out: the message
    // or file at hand stays where it is for the next start.
    m_exitTag = true;
    if (m_inTick || m_connection == Connection::Connecting) m_deps.phone.interrupt();
}

ConnectOutcome GatewayEngine::runOnce() {
    const std::optional<ConnectOutcome> outcome = start();
    if (!outcome) return ConnectOutcome::PhoneSilent;
    if (*outcome != ConnectOutcome::Connected) return *outcome;
    m_inTick = true;
    poll();
    m_inTick = false;
    m_deps.ticks.setEnabled(false);
    return ConnectOutcome::Connected;
}

void GatewayEngine::tearDown() {
    if (m_finished) return;
    m_finished = true;
    m_deps.ticks.setEnabled(false);
    m_deps.phone.FinCom();
    emit finished();
}

}  // namespace telvane::gateway
