#include "phone/AtExchange.h"

#include <QDir>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <algorithm>
#include <utility>

#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "contracts/EngineFigures.h"
#include "phone/PortSettings.h"
#include "storage/DurableFile.h"

Q_LOGGING_CATEGORY(lcPhone, "telvane.phone", QtInfoMsg)

namespace telvane::phone {

using contracts::classifyReply;
using contracts::PortOpening;
using contracts::ReplyState;

QByteArray portLogLine(const QByteArray& reply) {
    QByteArray line = reply;
    line.replace("\r\n", " ");
    line.replace('\0', '\t');
    line += "\r\n";
    return line;
}

QString escapeForLog(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\r')
            out += QStringLiteral("<CR>");
        else if (u == '\n')
            out += QStringLiteral("<LF>");
        else if (u == 0x1A)
            out += QStringLiteral("<SUB>");
        else if (u == 0x1B)
            out += QStringLiteral("<ESC>");
        else if (u < 0x20 || u >= 0x7F)
            out += QStringLiteral("<%1>").arg(u, 2, 16, QChar(u'0'));
        else
            out += QChar(u);
    }
    return out;
}

bool answerIsComplete(const QByteArray& reply) {
    // A final result code is a whole line (V.250 5.7.1): "+CMS ERROR: 3" may still become
    // "+CMS ERROR: 330". The prompt for a PDU ends in a blank and no line end.
    return reply.endsWith("\r\n") || reply.endsWith("> ");
}

qint64 transactionDeadlineMs(qint64 nowMs, int delaySeconds) {
    const qint64 target = nowMs + qint64(delaySeconds) * 1000;
    return (target + 500) / 1000 * 1000;
}

class AtExchange::Busy {
public:
    explicit Busy(AtExchange& link) : m_link(link) {
        if (m_link.m_busyDepth++ == 0) m_link.m_port.setListening(false);
    }
    ~Busy() {
        if (--m_link.m_busyDepth == 0 && m_link.m_port.isOpen()) m_link.m_port.setListening(true);
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    AtExchange& m_link;
};

AtExchange::AtExchange(CommPort& port, const config::Settings& settings, contracts::Clock& clock,
                       contracts::EventPump& pump, contracts::EngineFigures& figures,
                       const contracts::PacingProfile& pacing, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_settings(settings),
      m_clock(clock),
      m_pump(pump),
      m_figures(figures),
      m_pacing(pacing) {
    m_port.setPassEveryChunk(pacing.answerAtFinalCode);
    connect(
        &m_port, &CommPort::DataIn, this,
        [this] {
            const QByteArray data = m_port.GetData();
            // Every byte passes the scanner, also those of a transaction that is thrown away: a
            // message passed to the host exists nowhere else.
            m_deliveries.feed(std::string_view(data.constData(), size_t(data.size())));
            (m_busyDepth > 0 ? m_buffer : m_unasked) += data;
            if (m_deliveries.takeNotice() && m_onArrival) m_onArrival();
        },
        Qt::DirectConnection);
    connect(
        &m_port, &CommPort::arrived, this,
        [this] {
            if (m_onBytes) m_onBytes();
        },
        Qt::DirectConnection);
}

QString AtExchange::portDescription() const {
    namespace setting = config::setting;
    return portNameFor(m_settings.text(setting::ComPort)).display + QStringLiteral("; ") +
           m_settings.text(setting::ComPortSpeedAtPortOpen) + QStringLiteral("; ") +
           m_settings.text(setting::ComPortOptions);
}

PortOpening AtExchange::OpenPort() {
    namespace setting = config::setting;
    const QString speed = m_settings.text(setting::ComPortSpeedAtPortOpen);
    const QString options = m_settings.text(setting::ComPortOptions);
    const PortName name = portNameFor(m_settings.text(setting::ComPort));
    QString problem;
    const QMetaObject::Connection listening = connect(
        &m_port, &CommPort::configurationFailed, this,
        [&problem](const QString& message) { problem = message; }, Qt::DirectConnection);
    const bool opened = m_port.InitCom(name.device, speed + u',' + options);
    disconnect(listening);
    if (opened) {
        qCDebug(lcPhone) << "opened" << name.device << speed << options;
        // A modem met anew may hold a half-typed PDU or an answer owed to a program before us.
        ++m_connection;
        ++m_epoch;
        m_needsResync = true;
        m_lost = false;
        m_interrupted = false;
        m_unasked.clear();
        m_port.setListening(true);
        return {PortOpening::Outcome::Opened, {}};
    }
    qCDebug(lcPhone) << "could not open" << name.device << problem;
    if (!problem.isEmpty()) return {PortOpening::Outcome::NotConfigured, problem};
    return {PortOpening::Outcome::NotOpened, {}};
}

bool AtExchange::write(const QByteArray& bytes, const QString& action) {
    qCDebug(lcPhone).noquote() << action << "-->" << ('\'' + escapeForLog(bytes) + '\'');
    if (m_port.WriteData(bytes)) return true;
    // A port that takes no bytes (unplugged, reset) will not answer either: waiting out the
    // time-out would only hold up every later command.
    qCDebug(lcPhone).noquote() << action << "could not be written";
    m_lost = true;
    return false;
}

contracts::ExchangeOutcome AtExchange::transact(
    const QByteArray& command, const QString& action, int delay, int ceiling,
    const std::function<bool(const QByteArray&)>& done) {
    using contracts::ExchangeOutcome;
    const qint64 start = m_clock.monotonicMs();
    qint64 deadline = transactionDeadlineMs(start, delay);
    const qint64 ceilingDeadline = ceiling > 0 ? transactionDeadlineMs(start, ceiling) : deadline;
    m_buffer = std::exchange(m_unasked, {});
    m_clock.pause(m_pacing.beforeCommandMs);
    m_pump.run();
    if (m_interrupted) return ExchangeOutcome::Interrupted;
    if (!write(command, action)) return ExchangeOutcome::PortLost;
    m_lastByteMs = m_clock.monotonicMs();
    const int exitGrace = std::exchange(m_exitGrace, 0);
    std::optional<qint64> exitDeadline;
    for (quint64 seen = m_port.bytesRead();;) {
        m_port.ItIsTime();
        m_pump.run();
        if (m_port.failed()) {
            qCDebug(lcPhone).noquote() << action << "the port failed";
            m_lost = true;
            return ExchangeOutcome::PortLost;
        }
        const qint64 now = m_clock.monotonicMs();
        if (m_interrupted) {
            // An answer on its way may be worth a few seconds more (see Exchange::exitGrace).
            if (!exitDeadline) exitDeadline = now + qint64(exitGrace) * 1000;
            if (now >= *exitDeadline) {
                m_needsResync = true;
                return ExchangeOutcome::Interrupted;
            }
        }
        if (m_port.bytesRead() != seen) {
            seen = m_port.bytesRead();
            m_lastByteMs = now;
            // Still coming: the limit counts from the last byte, up to the ceiling.
            if (ceiling > 0)
                deadline = std::min(ceilingDeadline,
                                    std::max(deadline, transactionDeadlineMs(now, delay)));
        }
        if (now > deadline) {
            qCDebug(lcPhone).noquote()
                << action << "timed out; <--" << ('\'' + escapeForLog(m_buffer) + '\'');
            m_pump.run();
            // What comes after this belongs to no later command.
            m_needsResync = true;
            ++m_epoch;
            ++m_figures.exchangeTimeouts;
            return ExchangeOutcome::TimedOut;
        }
        if (!done(m_buffer)) continue;
        qCDebug(lcPhone).noquote() << action << "<--" << ('\'' + escapeForLog(m_buffer) + '\'');
        m_pump.run();
        if (m_settings.strictNumber(config::setting::Log) == 1) appendPortLog();
        return ExchangeOutcome::Answered;
    }
}

contracts::ExchangeResult AtExchange::exchange(const contracts::Exchange& request) {
    using contracts::ExchangeOutcome;
    if (m_lost) return {ExchangeOutcome::PortLost, {}};
    if (m_interrupted) return {ExchangeOutcome::Interrupted, {}};
    const Busy busy(*this);
    if (m_needsResync) {
        const contracts::ExchangeResult synced = resynchronise(kResyncSeconds, nullptr);
        if (!synced.answered()) return synced;
    }
    const QByteArray wait = request.wait.toLatin1();
    ReplyState state = ReplyState::Pending;
    // Also what the port holds of a burst still coming, the moment it comes: the standard
    // pacing takes the answer once the line is quiet, but a caller hears it now.
    qsizetype told = 0;
    m_onBytes = [&] {
        if (!request.onProgress) return;
        const QByteArray seen = m_buffer + m_port.pending();
        if (seen.size() == told) return;
        told = seen.size();
        request.onProgress(seen);
    };
    const auto heard = qScopeGuard([this] { m_onBytes = nullptr; });
    m_exitGrace = request.exitGrace;
    const ExchangeOutcome outcome =
        transact(request.command, request.action, request.delay, request.ceiling,
                 [&](const QByteArray& reply) {
                     m_onBytes();
                     state = classifyReply(reply, wait);
                     return state != ReplyState::Pending &&
                            (!m_pacing.answerAtFinalCode || answerIsComplete(reply));
                 });
    contracts::ExchangeResult result{outcome, replies::finalResultOf(std::string_view(
                                                  m_buffer.constData(), size_t(m_buffer.size())))};
    if (outcome == ExchangeOutcome::Answered && state == ReplyState::Failed)
        result.outcome = ExchangeOutcome::Refused;
    // A command line comes back up to its CR when the phone echoes (V.250 6.2.4).
    if (outcome == ExchangeOutcome::Answered && request.command.left(2).toUpper() == "AT")
        m_echoes = m_buffer.contains(request.command.left(request.command.indexOf('\r') + 1));
    return result;
}

contracts::ExchangeResult AtExchange::resynchronise(int ceilingSeconds, QByteArray* late) {
    using contracts::ExchangeOutcome;
    if (m_lost) return {ExchangeOutcome::PortLost, {}};
    if (m_interrupted) return {ExchangeOutcome::Interrupted, {}};
    const Busy busy(*this);
    const QString action = QStringLiteral("Синхронизация");
    // ESC ends a text entry left open (TS 27.005 3.5.1); the CR ends a half-typed command line.
    m_clock.pause(m_pacing.beforeCommandMs);
    if (!write(QByteArrayLiteral("\x1b\r"), action)) return {ExchangeOutcome::PortLost, {}};
    // The AT's own answer is the one after its echo. Without an echo, the last final result
    // code once the line has been quiet a while: a late answer and the AT's come back to back.
    qsizetype ownFrom = 0;
    replies::FinalResult own;
    const ExchangeOutcome outcome =
        transact("AT\r", action, ceilingSeconds, 0, [&](const QByteArray& reply) {
            const qsizetype echo = reply.lastIndexOf("AT\r");
            ownFrom = echo < 0 ? 0 : echo;
            const QByteArray tail = reply.mid(ownFrom);
            own = replies::finalResultOf(std::string_view(tail.constData(), size_t(tail.size())));
            if (own.kind == replies::FinalResult::Kind::None) return false;
            return echo >= 0 ||
                   (m_echoes != true && m_clock.monotonicMs() - m_lastByteMs >= kQuietMs);
        });
    if (outcome != ExchangeOutcome::Answered) return {outcome, own};
    if (late) {
        qsizetype end = ownFrom;
        // Without an echo, what precedes the last final result code came before it.
        if (end == 0)
            end = std::max<qsizetype>(
                0,
                m_buffer.lastIndexOf(own.kind == replies::FinalResult::Kind::Ok ? "OK" : "ERROR"));
        *late = m_buffer.left(end);
    }
    m_needsResync = false;
    return {ExchangeOutcome::Answered, own};
}

void AtExchange::appendPortLog() {
    if (m_logFolder.isEmpty()) return;
    // A fresh home has no Logs folder yet, as it has no Receive folder: both are made when
    // first written to. A folder that cannot be made loses the line and nothing else.
    QDir().mkpath(m_logFolder);
    // Each modem of several has its own, so that one modem's exchange reads in one piece.
    const QString modem = m_settings.modemSection();
    const QString name = modem.isEmpty() ? QStringLiteral("PortLog.txt")
                                         : QStringLiteral("PortLog-%1.txt").arg(modem);
    const storage::WriteResult written =
        storage::appendDurably(m_logFolder + name, portLogLine(m_buffer));
    if (!written.ok) qCDebug(lcPhone).noquote() << "port log line lost:" << written.error;
}

void AtExchange::PurgeBuffer() {
    m_port.PurgeBuffer();
    m_unasked.clear();
}

void AtExchange::FinCom() { m_port.FinCom(); }

}  // namespace telvane::phone
