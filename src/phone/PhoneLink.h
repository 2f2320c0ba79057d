#pragma once
// The phone as the engine and the inbox and outbox see it: one command transaction at a time.

#include <QByteArray>
#include <QString>

namespace telvane::phone {

class PhoneLink {
public:
    virtual ~PhoneLink() = default;

    /// Opens and configures the port from the settings; on failure the status already says
    /// "Порт не открыт" with the port-failed icon.
    virtual bool OpenPort() = 0;

    /// One transaction: writes Command (with its terminator), collects the reply until it holds
    /// Wait (compared case-insensitively), holds "ERROR" (then false, and Wait becomes
    /// "Ошибка"), or Delay seconds pass (false). The whole reply stays in gsBuffer().
    virtual bool SendToPhone(const QByteArray& Command, const QString& Action, QString& Wait,
                             int Delay) = 0;

    /// Everything received during the last transaction, exactly as received.
    virtual const QByteArray& gsBuffer() const = 0;

    virtual void PurgeBuffer() = 0;
    virtual void FinCom() = 0;

    /// The folder of "PortLog.txt"; the log is written there when the Log setting is 1.
    virtual void setLogFolder(const QString& folder) = 0;
};

}  // namespace telvane::phone
