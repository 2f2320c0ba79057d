#pragma once
// A telvaned run for tests: its status lines are collected as they come, and a test waits for
// a line with a deadline instead of sleeping.

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

namespace telvane::test {

class ServiceProcess {
public:
    explicit ServiceProcess(const QString& home) : m_home(home) {
        m_process.setProgram(QStringLiteral(TELVANED_BINARY));
    }
    ~ServiceProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    void start(const QStringList& extraArgs = {}) {
        m_process.setArguments(QStringList{QStringLiteral("--home"), m_home} + extraArgs);
        m_process.start();
        m_process.waitForStarted(5000);
    }

    /// Runs to the end; the exit code, or -1 when it did not end before the deadline.
    int run(const QStringList& extraArgs = {}, int deadlineMs = 60000) {
        start(extraArgs);
        if (!m_process.waitForFinished(deadlineMs)) return -1;
        collect();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    /// Waits until a status line (without its time) equal to `text` has come after the first
    /// `after` lines; its position, or -1 at the deadline.
    int waitForStatus(const QString& text, int after = 0, int deadlineMs = 60000) {
        QDeadlineTimer deadline(deadlineMs);
        for (;;) {
            collect();
            for (int i = after; i < m_statuses.size(); ++i)
                if (m_statuses[i] == text) return i;
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) return -1;
            m_process.waitForReadyRead(
                static_cast<int>(std::min<qint64>(deadline.remainingTime(), 500)));
        }
    }

    void terminate() { m_process.terminate(); }
    bool waitForExit(int deadlineMs = 30000) {
        const bool ended = m_process.waitForFinished(deadlineMs);
        collect();
        return ended;
    }
    int exitCode() const { return m_process.exitCode(); }
    qint64 pid() const { return m_process.processId(); }

    /// Status texts in order, without their time stamps.
    const QStringList& statuses() const { return m_statuses; }
    /// The same, one a line, for readable comparisons.
    std::string statusLines() const { return m_statuses.join(u'\n').toStdString(); }
    const QString& errors() const { return m_errors; }

private:
    void collect() {
        m_out += m_process.readAllStandardOutput();
        m_errors += QString::fromUtf8(m_process.readAllStandardError());
        qsizetype end;
        while ((end = m_out.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_out.left(end));
            m_out.remove(0, end + 1);
            // "yyyy-MM-dd hh:mm:ss text"
            m_statuses << line.mid(20);
        }
    }

    QString m_home;
    QProcess m_process;
    QByteArray m_out;
    QStringList m_statuses;
    QString m_errors;
};

}  // namespace telvane::test
