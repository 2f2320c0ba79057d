#pragma once
// The command transaction with the phone over a CommPort, the opening of the port from the
// settings, and the port log.

#include <QObject>

#include "contracts/Clock.h"
#include "contracts/Pacing.h"
#include "contracts/PhoneLink.h"
#include "phone/CommPort.h"

namespace telvane::config {
class Settings;
}

namespace telvane::phone {

/// The port log line of one transaction: CR LF pairs become one blank, NUL becomes TAB, a lone
/// CR stays; ended by CR LF.
QByteArray portLogLine(const QByteArray& reply);

/// Control characters made visible for debug output: `'at<CR><CR><LF>OK<CR><LF>'`.
QString escapeForLog(const QByteArray& bytes);

/// The transaction deadline: now plus the delay, rounded to a whole second of the clock.
qint64 transactionDeadlineMs(qint64 nowMs, int delaySeconds);

class AtExchange final : public QObject, public contracts::PhoneLink {
    Q_OBJECT
public:
    AtExchange(CommPort& port, const config::Settings& settings, contracts::Clock& clock,
               contracts::EventPump& pump, const contracts::PacingProfile& pacing = {},
               QObject* parent = nullptr);

    QString portDescription() const override;
    [[nodiscard]] contracts::PortOpening OpenPort() override;
    bool SendToPhone(const QByteArray& Command, const QString& Action, const QString& Wait,
                     int Delay) override;
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override;
    void FinCom() override;
    void setLogFolder(const QString& folder) override { m_logFolder = folder; }

private:
    void appendPortLog();

    CommPort& m_port;
    const config::Settings& m_settings;
    contracts::Clock& m_clock;
    contracts::EventPump& m_pump;
    contracts::PacingProfile m_pacing;
    QByteArray m_buffer;
    QString m_logFolder;
};

}  // namespace telvane::phone
