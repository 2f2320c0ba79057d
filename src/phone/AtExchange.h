#pragma once
// The command transaction with the phone over a CommPort, the opening of the port from the
// settings, and the port log.

#include <QObject>
#include <functional>
#include <optional>

#include "contracts/Clock.h"
#include "contracts/EngineFigures.h"
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

/// True when a reply ends where a final result code or the prompt for a PDU can end.
bool answerIsComplete(const QByteArray& reply);

/// The transaction deadline: now plus the delay, rounded to a whole second of the clock.
qint64 transactionDeadlineMs(qint64 nowMs, int delaySeconds);

class AtExchange final : public QObject, public contracts::PhoneLink {
    Q_OBJECT
public:
    /// How long the resynchronisation before a transaction waits for its AT's answer.
    static constexpr int kResyncSeconds = 5;
    /// A phone that does not echo gets this long after a final result code before it counts as
    /// the answer to the resynchronising AT: a late answer and the AT's own come back to back.
    static constexpr int kQuietMs = 1000;

    /// `figures` counts the transactions that timed out.
    AtExchange(CommPort& port, const config::Settings& settings, contracts::Clock& clock,
               contracts::EventPump& pump, contracts::EngineFigures& figures,
               const contracts::PacingProfile& pacing = {}, QObject* parent = nullptr);

    QString portDescription() const override;
    [[nodiscard]] contracts::PortOpening OpenPort() override;
    contracts::ExchangeResult exchange(const contracts::Exchange& request) override;
    contracts::ExchangeResult resynchronise(int ceilingSeconds, QByteArray* late) override;
    const QByteArray& lastReply() const override { return m_buffer; }
    quint64 connection() const override { return m_connection; }
    quint64 syncEpoch() const override { return m_epoch; }
    bool halted() const override { return m_lost || m_interrupted; }
    void interrupt() override { m_interrupted = true; }
    std::vector<replies::Delivery> takeDeliveries() override { return m_deliveries.take(); }
    void setArrivalListener(std::function<void()> listener) override {
        m_onArrival = std::move(listener);
    }
    void PurgeBuffer() override;
    void FinCom() override;
    void setLogFolder(const QString& folder) override { m_logFolder = folder; }

private:
    /// Writes `command` after the pause and collects the reply into lastReply until `done` says
    /// it is complete, the time runs out, the port fails or an exit is asked for.
    contracts::ExchangeOutcome transact(const QByteArray& command, const QString& action, int delay,
                                        int ceiling,
                                        const std::function<bool(const QByteArray&)>& done);
    bool write(const QByteArray& bytes, const QString& action);
    void appendPortLog();
    /// A transaction (or a resynchronisation) is under way while one lives: the port stops
    /// listening for what the phone says unasked, and listens again after the outermost.
    class Busy;

    CommPort& m_port;
    const config::Settings& m_settings;
    contracts::Clock& m_clock;
    contracts::EventPump& m_pump;
    contracts::EngineFigures& m_figures;
    contracts::PacingProfile m_pacing;
    QByteArray m_buffer;
    /// Said by the phone between transactions: the start of the next transaction's reply, as
    /// if it had stayed in the driver (a late +CMGS must reach the resynchronisation).
    QByteArray m_unasked;
    int m_busyDepth = 0;
    std::function<void()> m_onArrival;
    std::function<void()> m_onBytes;  ///< during an exchange: tells its onProgress
    QString m_logFolder;
    replies::DeliveryScanner m_deliveries;
    quint64 m_connection = 0;
    quint64 m_epoch = 0;
    bool m_needsResync = false;
    std::optional<bool> m_echoes;  ///< whether the phone echoes commands, once seen
    qint64 m_lastByteMs = 0;
    bool m_lost = false;
    bool m_interrupted = false;
    int m_exitGrace = 0;  ///< the exitGrace of the transaction about to go out
};

}  // namespace telvane::phone
