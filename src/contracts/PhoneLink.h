#pragma once
// The phone as the engine and the inbox and outbox see it: one command transaction at a time.

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

#include "replies/Replies.h"

namespace telvane::contracts {

/// How opening the port from the settings ended.
struct PortOpening {
    enum class Outcome {
        Opened,
        NotOpened,      ///< the device is missing or taken by another program
        NotConfigured,  ///< the device opened but the line settings could not be applied
    };
    Outcome outcome = Outcome::NotOpened;
    /// NotConfigured: what the port said ("Unable to build Comm DCB ...").
    QString problem;

    bool opened() const { return outcome == Outcome::Opened; }
};

enum class ReplyState { Pending, Answered, Failed };

/// The one place where a reply is compared with what the caller waits for: both in upper case;
/// "ERROR" anywhere (also in "+CMS ERROR: 500") fails the transaction even if Wait is there too.
inline ReplyState classifyReply(const QByteArray& reply, const QByteArray& wait) {
    const QByteArray upper = reply.toUpper();
    if (upper.contains("ERROR")) return ReplyState::Failed;
    if (upper.contains(wait.toUpper())) return ReplyState::Answered;
    return ReplyState::Pending;
}

/// One command transaction as a caller asks for it.
struct Exchange {
    QByteArray command;  ///< written as it stands, terminator included
    QString action;      ///< what it is for, for the debug output
    QString wait = QStringLiteral("OK");
    int delay = 5;  ///< seconds without the answer before the transaction times out
    /// 0: `delay` counts from the start. Otherwise `delay` counts from the last byte received
    /// (a long listing goes on while bytes keep coming), up to this many seconds in all.
    int ceiling = 0;
    /// Seconds an exit request still waits for the answer: a confirmation cut off would leave
    /// a message that went out to be sent again at the next start.
    int exitGrace = 0;
    /// Told the reply so far each time more of it came, before the transaction ends: what a
    /// caller must record the moment it is said (a "+CMGS: <mr>") need not wait for the rest.
    std::function<void(const QByteArray& reply)> onProgress = {};
};

/// How a transaction ended.
enum class ExchangeOutcome {
    Answered,     ///< the reply holds Wait and no "ERROR"
    Refused,      ///< the reply holds "ERROR" (also "+CMS ERROR: n", "+CME ERROR: n")
    TimedOut,     ///< no complete answer in time; the next transaction resynchronises first
    PortLost,     ///< the port failed (unplugged, reset): nothing more goes through it
    Interrupted,  ///< an exit was asked for while waiting: nothing more is said to the phone
};

struct ExchangeResult {
    ExchangeOutcome outcome = ExchangeOutcome::TimedOut;
    /// The reply's last final result code, with its error number.
    replies::FinalResult final;

    bool answered() const { return outcome == ExchangeOutcome::Answered; }
    /// The poll must end now: the port is gone or the program is to end.
    bool halted() const {
        return outcome == ExchangeOutcome::PortLost || outcome == ExchangeOutcome::Interrupted;
    }
    /// "+CMS ERROR: 310 (SIM not inserted)", "ERROR", or "нет ответа" after a time-out.
    QString reason() const {
        if (outcome == ExchangeOutcome::TimedOut) return QStringLiteral("нет ответа");
        if (outcome == ExchangeOutcome::PortLost) return QStringLiteral("порт потерян");
        return QString::fromStdString(replies::describe(final));
    }
};

class PhoneLink {
public:
    virtual ~PhoneLink() = default;

    /// The port as the settings name it, for the status text: "COM1; 9600; n,8,1".
    virtual QString portDescription() const = 0;

    /// Opens and configures the port from the settings. A new connection: the first
    /// transaction on it resynchronises the line first.
    [[nodiscard]] virtual PortOpening OpenPort() = 0;

    /// One transaction: writes the command, collects the reply until it holds Wait (compared
    /// case-insensitively) or "ERROR", or the time runs out. The whole reply stays in
    /// lastReply(). After a time-out the next transaction first resynchronises, so that a late
    /// answer is never taken for another command's.
    virtual ExchangeResult exchange(const Exchange& request) = 0;

    /// The transaction of the original interface: true when the phone answered Wait.
    bool SendToPhone(const QByteArray& Command, const QString& Action, const QString& Wait,
                     int Delay) {
        return exchange({Command, Action, Wait, Delay}).answered();
    }

    /// Brings the line back to a known state: ESC and CR (ending a text entry a prompt left
    /// open), then "AT", and waits up to `ceilingSeconds` for that AT's own final result.
    /// Answered: everything the phone said before it is in `late` (a late +CMGS, say);
    /// otherwise the line stays to be resynchronised before the next transaction.
    virtual ExchangeResult resynchronise(int ceilingSeconds, QByteArray* late = nullptr) = 0;

    /// Everything received during the last transaction, exactly as received.
    virtual const QByteArray& lastReply() const = 0;

    /// Counts the port openings: what is known about the modem holds for one connection.
    virtual quint64 connection() const = 0;
    /// Grows with every port opening and every time-out. A memory selected and listed while it
    /// stood still is the memory a deletion reaches.
    virtual quint64 syncEpoch() const = 0;

    /// Nothing more is to be said to the phone in this poll (port lost, exit asked for).
    virtual bool halted() const = 0;
    /// An exit was asked for: the wait in progress ends and later transactions end at once,
    /// until the port is opened again.
    virtual void interrupt() = 0;

    /// The messages the phone passed to the host (+CMT, +CDS) since the last call, from any
    /// transaction.
    virtual std::vector<replies::Delivery> takeDeliveries() = 0;

    /// Called when the phone announces a message or report it stored (+CMTI, +CDSI) or passes
    /// one to the host, between transactions as well as during one; on the link's own thread.
    virtual void setArrivalListener(std::function<void()> listener) { (void)listener; }

    virtual void PurgeBuffer() = 0;
    virtual void FinCom() = 0;

    /// The folder of "PortLog.txt"; the log is written there when the Log setting is 1.
    virtual void setLogFolder(const QString& folder) = 0;
};

}  // namespace telvane::contracts
