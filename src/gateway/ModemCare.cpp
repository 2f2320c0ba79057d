#include "gateway/ModemCare.h"

#include <QCryptographicHash>
#include <QLoggingCategory>
#include <utility>

#include "ModemCommands.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "contracts/EngineFigures.h"

Q_LOGGING_CATEGORY(lcModem, "telvane.modem", QtInfoMsg)

namespace telvane::gateway {

namespace {

using replies::SimState;

std::string_view text(const QByteArray& bytes) { return {bytes.constData(), size_t(bytes.size())}; }

QString registrationWords(int stat) {
    switch (stat) {
        case 0:
            return QStringLiteral("не зарегистрирован");
        case 1:
        case 6:
        case 9:
            return QStringLiteral("зарегистрирован");
        case 2:
            return QStringLiteral("поиск сети");
        case 3:
            return QStringLiteral("регистрация отклонена");
        case 5:
        case 7:
        case 10:
            return QStringLiteral("зарегистрирован (роуминг)");
        case 8:
            return QStringLiteral("только экстренные вызовы");
        default:
            return QStringLiteral("состояние неизвестно");
    }
}

QByteArray digest(const QString& pin) {
    return QCryptographicHash::hash(pin.toUtf8(), QCryptographicHash::Sha256).toHex();
}

}  // namespace

QString networkText(std::optional<int> registration, std::optional<int> signal) {
    const QString state =
        registration ? registrationWords(*registration) : QStringLiteral("регистрация неизвестна");
    const QString level = !signal || *signal == 99 ? QStringLiteral("сигнал неизвестен")
                                                   : QStringLiteral("сигнал %1/31").arg(*signal);
    return QStringLiteral("Сеть: ") + state + QStringLiteral(", ") + level;
}

QString simProblemText(const replies::SimReport& sim, bool pinRefused) {
    switch (sim.state) {
        case SimState::Pin:
            return pinRefused ? QStringLiteral("SIM PIN (PIN-код из настроек не подошёл)")
                              : QStringLiteral("SIM PIN");
        case SimState::Puk:
            return QStringLiteral("SIM PUK");
        case SimState::NotInserted:
            return QStringLiteral("SIM not inserted");
        case SimState::Busy:
            return QStringLiteral("SIM busy");
        case SimState::Ready:
        case SimState::Other:
            break;
    }
    return QString::fromStdString(sim.text);
}

ModemCare::ModemCare(contracts::PhoneLink& phone, store::Store& store,
                     contracts::EngineFigures& figures, const config::Settings& settings,
                     storage::LogWriter& log, bool echoOff)
    : m_phone(phone),
      m_store(store),
      m_figures(figures),
      m_settings(settings),
      m_log(log),
      m_echoOff(echoOff) {}

contracts::ExchangeResult ModemCare::send(const contracts::Exchange& exchange) {
    return m_phone.exchange(exchange);
}

void ModemCare::log(const QString& message) { (void)m_log.write({message}); }

bool ModemCare::setUp() {
    if (m_setUpFor == m_phone.connection()) return false;
    m_setUpFor = m_phone.connection();
    if (!send(commands::pduMode()).answered())
        qCWarning(lcModem) << "the phone did not accept PDU mode (AT+CMGF=0)";
    if (m_echoOff) (void)send(commands::echoOff());
    (void)send(commands::errorNumbers());
    m_model.clear();
    m_operator.clear();
    m_registration.reset();
    if (send(commands::model()).answered())
        m_model = replies::modelOf(text(m_phone.lastReply())).value_or(std::string());
    checkSim();
    if (simReady()) routeNewMessagesToMemory();
    check();
    return true;
}

void ModemCare::check() {
    if (m_phone.halted()) return;
    if (!simReady()) checkSim();
    std::optional<int> registration;
    std::optional<int> signal;
    if (send(commands::registration()).answered())
        registration = replies::registrationOf(text(m_phone.lastReply()));
    if (send(commands::signal()).answered()) signal = replies::signalOf(text(m_phone.lastReply()));
    // The operator changes with the registration only: asked then, not at every check.
    if (registration != m_registration) {
        m_operator.clear();
        if (registration && replies::isRegistered(*registration) &&
            send(commands::networkOperator()).answered())
            m_operator = replies::operatorOf(text(m_phone.lastReply())).value_or(std::string());
    }
    if (m_phone.halted()) return;
    m_registration = registration;
    m_figures.setModem(m_model, m_operator);
    m_network = networkText(registration, signal);
    m_figures.registration = registration.value_or(-1);
    m_figures.signal = signal.value_or(-1);
    // A modem that does not say stays usable: only a stated lack of registration holds sending.
    const bool held = registration && replies::blocksSending(*registration);
    if (held != m_sendingHeld) {
        const QString state = registrationWords(registration.value_or(-1));
        log(held ? QStringLiteral("Нет регистрации в сети (%1): отправка SMS отложена").arg(state)
                 : QStringLiteral("Регистрация в сети (%1): отправка SMS возобновлена").arg(state));
    }
    m_sendingHeld = held;
}

void ModemCare::checkSim() {
    const contracts::ExchangeResult asked = send(commands::sim());
    if (asked.halted() || asked.outcome == contracts::ExchangeOutcome::TimedOut) return;
    // A phone that has no AT+CPIN? at all is taken as ready: it will say so at its SMS commands.
    std::optional<replies::SimReport> sim = replies::simReportOf(text(m_phone.lastReply()));
    std::optional<bool> entered;
    if (sim && sim->state == SimState::Pin) entered = enterPin();
    if (entered == true) sim.reset();
    const bool blocking = sim && sim->state != SimState::Ready && sim->state != SimState::Other;
    const std::optional<QString> problem =
        blocking ? std::optional(simProblemText(*sim, entered == false)) : std::nullopt;
    if (problem && problem != m_simProblem) log(QStringLiteral("SIM-карта не готова: ") + *problem);
    if (!problem && m_simProblem) log(QStringLiteral("SIM-карта готова"));
    m_simProblem = problem;
    m_simLocked = problem && sim->state != SimState::NotInserted;
}

// Whether the SIM took the PIN of the settings; nullopt when there is none or the SIM did not
// say. A PIN is offered once: one the SIM refused is kept (as its digest) and never tried again,
// by this run or a later one.
std::optional<bool> ModemCare::enterPin() {
    const QString pin = m_settings.text(config::setting::PIN).trimmed();
    if (pin.isEmpty()) return std::nullopt;
    const QString tried = QString::fromLatin1(digest(pin));
    if (m_refusedPin.isEmpty()) {
        const auto refused = m_store.fact(refusedPinFact(m_settings.modemSection()));
        if (!refused) {
            // It may be this very PIN, refused before: a third wrong try locks the SIM, so none
            // is offered until the store can say.
            if (!std::exchange(m_pinHeldForStore, true))
                log(QStringLiteral("PIN-код не вводится, пока недоступно хранилище: ") +
                    refused.error().message);
            return std::nullopt;
        }
        m_pinHeldForStore = false;
        if (refused->has_value()) m_refusedPin = **refused;
    }
    if (m_refusedPin == tried) return false;
    const contracts::ExchangeResult entered = send(commands::enterPin(pin.toLatin1()));
    if (entered.answered()) return true;
    if (entered.outcome != contracts::ExchangeOutcome::Refused) return std::nullopt;
    m_refusedPin = tried;
    if (const auto kept = m_store.setFact(refusedPinFact(m_settings.modemSection()), tried); !kept)
        qCWarning(lcModem).noquote() << "cannot keep the refused PIN:" << kept.error().message;
    log(QStringLiteral("PIN-код не принят, повторно не вводится: ") + entered.reason());
    return false;
}

void ModemCare::routeNewMessagesToMemory() {
    contracts::ExchangeResult last;
    for (const char* routing : commands::kRoutings) {
        last = send(commands::routing(routing));
        if (last.answered() || last.halted() ||
            last.outcome == contracts::ExchangeOutcome::TimedOut)
            return;
    }
    log(QStringLiteral("Модем не принял настройку приёма SMS в память (AT+CNMI): ") +
        last.reason());
}

}  // namespace telvane::gateway
