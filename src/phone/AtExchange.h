#pragma once
// The command transaction with the phone over a CommPort, the opening of the port from the
// settings, and the port log.

#include <QObject>

#include "phone/Clock.h"
#include "phone/CommPort.h"
#include "phone/Pacing.h"
#include "phone/PhoneLink.h"

namespace telvane::config {
class Settings;
}
namespace telvane::gateway {
class StatusSink;
}

namespace telvane::phone {

enum class ReplyState { Pending, Answered, Failed };

/// The one place where a reply is compared with what the caller waits for: both in upper case;
/// "ERROR" anywhere (also in "+CMS ERROR: 500") fails the transaction even if Wait is there too.
ReplyState classifyReply(const QByteArray& reply, const QByteArray& wait);

/// The port log line of one transaction: CR LF pairs become one blank, NUL becomes TAB, a lone
/// CR stays; ended by CR LF.
QByteArray portLogLine(const QByteArray& reply);

/// Control characters made visible for debug output: `'at<CR><CR><LF>OK<CR><LF>'`.
QString escapeForLog(const QByteArray& bytes);

/// The transaction deadline: now plus the delay, rounded to a whole second of the clock.
qint64 transactionDeadlineMs(qint64 nowMs, int delaySeconds);

class AtExchange final : public QObject, public PhoneLink {
    Q_OBJECT
public:
    AtExchange(CommPort& port, const config::Settings& settings, gateway::StatusSink& status,
               Clock& clock, EventPump& pump, const PacingProfile& pacing = {},
               QObject* parent = nullptr);

    bool OpenPort() override;
    bool SendToPhone(const QByteArray& Command, const QString& Action, QString& Wait,
                     int Delay) override;
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override;
    void FinCom() override;
    void setLogFolder(const QString& folder) override { m_logFolder = folder; }

private:
    void appendPortLog();

    CommPort& m_port;
    const config::Settings& m_settings;
    gateway::StatusSink& m_status;
    Clock& m_clock;
    EventPump& m_pump;
    PacingProfile m_pacing;
    QByteArray m_buffer;
    QString m_logFolder;
};

}  // namespace telvane::phone
