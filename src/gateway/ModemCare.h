#pragma once
// What the gateway does for the modem besides reading and sending: once per connection it
// selects PDU mode, numbered errors, the SIM's PIN and the routing of new messages into the
// memories; at each connection check it reads the registration and the signal. It keeps what
// it learnt (SIM ready, sending possible, the network line shown to the user) and writes to
// "Log.txt" when a condition starts and when it ends, not at every check.

#include <QString>
#include <optional>
#include <string>

#include "contracts/EngineFigures.h"
#include "contracts/PhoneLink.h"
#include "replies/Replies.h"
#include "storage/LogFile.h"
#include "store/Store.h"

namespace telvane::config {
class Settings;
}

namespace telvane::gateway {

/// The network line for the user: "Сеть: зарегистрирован, сигнал 17/31".
QString networkText(std::optional<int> registration, std::optional<int> signal);
/// Why the SIM keeps the gateway from working: "SIM PIN", "SIM PUK", "SIM not inserted",
/// "SIM busy", and that the PIN of the settings was refused.
QString simProblemText(const replies::SimReport& sim, bool pinRefused);

class ModemCare {
public:
    ModemCare(contracts::PhoneLink& phone, store::Store& store, contracts::EngineFigures& figures,
              const config::Settings& settings, storage::LogWriter& log, bool echoOff = false);

    /// Once per connection, after the phone answered its test: the set-up, ending with
    /// check(). False (and nothing done) when this connection is set up already.
    bool setUp();
    /// The SIM again while it is not ready, then registration and signal.
    void check();

    /// False while the SIM waits for a PIN or PUK, is missing or busy.
    bool simReady() const { return !m_simProblem; }
    /// True while the SIM waits for a PIN or PUK or is busy: no memory can be read. A missing
    /// SIM still leaves the phone's own memory.
    bool simLocked() const { return m_simLocked; }
    /// The status text while the SIM is not ready.
    QString simProblem() const { return m_simProblem.value_or(QString()); }
    /// True while the modem is not registered or its registration was denied.
    bool sendingHeld() const { return m_sendingHeld; }
    QString network() const { return m_network; }

    /// The store's fact that keeps (the digest of) a PIN the SIM refused, so that no restart
    /// tries it again: three refusals would lock the SIM.
    /// Each SIM has its own: a PIN refused by one modem's SIM may be another's right one.
    static QString refusedPinFact(const QString& modemSection = {}) {
        return modemSection.isEmpty() ? QStringLiteral("refused-pin")
                                      : QStringLiteral("refused-pin/") + modemSection;
    }

private:
    contracts::ExchangeResult send(const contracts::Exchange& exchange);
    void checkSim();
    std::optional<bool> enterPin();
    void routeNewMessagesToMemory();
    void log(const QString& message);

    contracts::PhoneLink& m_phone;
    store::Store& m_store;
    contracts::EngineFigures& m_figures;
    QString m_refusedPin;            ///< the digest of the PIN the SIM refused, once known
    bool m_pinHeldForStore = false;  ///< no PIN offered while the store could not say: said once
    const config::Settings& m_settings;
    storage::LogWriter& m_log;
    bool m_echoOff;
    quint64 m_setUpFor = 0;  ///< the connection set up last
    std::optional<QString> m_simProblem;
    bool m_simLocked = false;
    bool m_sendingHeld = false;
    QString m_network;
    std::string m_model;     ///< AT+CGMM, asked once per connection
    std::string m_operator;  ///< AT+COPS?, asked when the registration changes
    std::optional<int> m_registration;
};

}  // namespace telvane::gateway
