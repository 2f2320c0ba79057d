#pragma once
// The phone as the engine and the inbox and outbox see it: one command transaction at a time.

#include <QByteArray>
#include <QString>

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

class PhoneLink {
public:
    virtual ~PhoneLink() = default;

    /// The port as the settings name it, for the status text: "COM1; 9600; n,8,1".
    virtual QString portDescription() const = 0;

    /// Opens and configures the port from the settings.
    [[nodiscard]] virtual PortOpening OpenPort() = 0;

    /// One transaction: writes Command (with its terminator), collects the reply until it holds
    /// Wait (compared case-insensitively), holds "ERROR" (then false), or Delay seconds pass
    /// (false). A command that cannot be written ends the transaction at once (false). The whole
    /// reply stays in gsBuffer().
    virtual bool SendToPhone(const QByteArray& Command, const QString& Action, const QString& Wait,
                             int Delay) = 0;

    /// Everything received during the last transaction, exactly as received.
    virtual const QByteArray& gsBuffer() const = 0;

    virtual void PurgeBuffer() = 0;
    virtual void FinCom() = 0;

    /// The folder of "PortLog.txt"; the log is written there when the Log setting is 1.
    virtual void setLogFolder(const QString& folder) = 0;
};

}  // namespace telvane::contracts
