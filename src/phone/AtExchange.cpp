#include "phone/AtExchange.h"

#include <QDir>
#include <QLoggingCategory>

#include "config/Settings.h"
#include "config/SettingsKeys.h"
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

qint64 transactionDeadlineMs(qint64 nowMs, int delaySeconds) {
    const qint64 target = nowMs + qint64(delaySeconds) * 1000;
    return (target + 500) / 1000 * 1000;
}

AtExchange::AtExchange(CommPort& port, const config::Settings& settings, contracts::Clock& clock,
                       contracts::EventPump& pump, const contracts::PacingProfile& pacing,
                       QObject* parent)
    : QObject(parent),
      m_port(port),
      m_settings(settings),
      m_clock(clock),
      m_pump(pump),
      m_pacing(pacing) {
    connect(
        &m_port, &CommPort::DataIn, this, [this] { m_buffer += m_port.GetData(); },
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
        return {PortOpening::Outcome::Opened, {}};
    }
    qCDebug(lcPhone) << "could not open" << name.device << problem;
    if (!problem.isEmpty()) return {PortOpening::Outcome::NotConfigured, problem};
    return {PortOpening::Outcome::NotOpened, {}};
}

bool AtExchange::SendToPhone(const QByteArray& Command, const QString& Action, const QString& Wait,
                             int Delay) {
    const qint64 deadline = transactionDeadlineMs(m_clock.monotonicMs(), Delay);
    m_buffer.clear();
    m_clock.pause(m_pacing.beforeCommandMs);
    m_pump.run();
    qCDebug(lcPhone).noquote() << Action << "-->" << ('\'' + escapeForLog(Command) + '\'');
    if (!m_port.WriteData(Command)) {
        // A port that takes no bytes (unplugged, reset) will not answer either: waiting out the
        // time-out would only hold up every later command.
        qCDebug(lcPhone).noquote() << Action << "could not be written";
        return false;
    }
    const QByteArray wait = Wait.toLatin1();
    for (;;) {
        m_port.ItIsTime();
        m_pump.run();
        if (m_clock.monotonicMs() > deadline) {
            qCDebug(lcPhone).noquote()
                << Action << "timed out; <--" << ('\'' + escapeForLog(m_buffer) + '\'');
            m_pump.run();
            return false;
        }
        const ReplyState state = classifyReply(m_buffer, wait);
        if (state == ReplyState::Pending) continue;
        qCDebug(lcPhone).noquote() << Action << "<--" << ('\'' + escapeForLog(m_buffer) + '\'');
        m_pump.run();
        if (m_settings.strictNumber(config::setting::Log) == 1) appendPortLog();
        return state == ReplyState::Answered;
    }
}

void AtExchange::appendPortLog() {
    if (m_logFolder.isEmpty()) return;
    // A fresh home has no Logs folder yet, as it has no Receive folder: both are made when
    // first written to. A folder that cannot be made loses the line and nothing else.
    QDir().mkpath(m_logFolder);
    const storage::WriteResult written =
        storage::appendDurably(m_logFolder + QStringLiteral("PortLog.txt"), portLogLine(m_buffer));
    if (!written.ok) qCDebug(lcPhone).noquote() << "port log line lost:" << written.error;
}

void AtExchange::PurgeBuffer() { m_port.PurgeBuffer(); }

void AtExchange::FinCom() { m_port.FinCom(); }

}  // namespace telvane::phone
