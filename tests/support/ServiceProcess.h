#pragma once
// A telvaned run for tests: its status lines are collected as they come, and a test waits for
// a line with a deadline instead of sleeping.

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

namespace telvane::test {

class ServiceProcess {
public:
    explicit ServiceProcess(const QString& home) : m_home(home) {}
    ~ServiceProcess() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    void start(const QStringList& extraArgs = {}) {
        m_process.start(QStringLiteral(TELVANED_BINARY), QStringList{"--home", m_home} + extraArgs);
        m_process.waitForStarted(5000);
    }
    /// Runs to the end; the exit code, or -1 when it did not end normally before the deadline.
    int run(const QStringList& extraArgs = {}, int deadlineMs = 60000) {
        start(extraArgs);
        return waitForExit(deadlineMs) && m_process.exitStatus() == QProcess::NormalExit
                   ? exitCode()
                   : -1;
    }
    /// Waits until a status line (without its time) equal to `text` has come after the first
    /// `after` lines; its position, or -1 at the deadline or when the service ended.
    int waitForStatus(const QString& text, int after = 0, int deadlineMs = 60000) {
        for (QDeadlineTimer deadline(deadlineMs);;
             m_process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 500)))) {
            collect();
            if (const int at = int(m_statuses.indexOf(text, after)); at >= 0) return at;
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) return -1;
        }
    }
    void terminate() { m_process.terminate(); }
    /// SIGKILL: no chance to finish anything.
    void kill() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool waitForExit(int deadlineMs = 30000) {
        const bool ended = m_process.waitForFinished(deadlineMs);
        collect();
        return ended;
    }
    int exitCode() const { return m_process.exitCode(); }
    qint64 pid() const { return m_process.processId(); }
    /// Status texts in order, without their time stamps ("yyyy-MM-dd hh:mm:ss text").
    const QStringList& statuses() const { return m_statuses; }
    const QString& errors() const { return m_errors; }

private:
    void collect() {
        m_out += m_process.readAllStandardOutput();
        m_errors += QString::fromUtf8(m_process.readAllStandardError());
        for (qsizetype end; (end = m_out.indexOf('\n')) >= 0; m_out.remove(0, end + 1))
            m_statuses << QString::fromUtf8(m_out.left(end)).mid(20);
    }

    QString m_home;
    QProcess m_process;
    QByteArray m_out;
    QStringList m_statuses;
    QString m_errors;
};

}  // namespace telvane::test
