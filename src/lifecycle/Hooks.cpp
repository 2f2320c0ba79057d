#include "lifecycle/Hooks.h"

#include <QDir>
#include <QProcess>
#include <algorithm>

#include "config/Settings.h"

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>
#endif

namespace telvane::lifecycle {

namespace {

namespace setting = config::setting;

const config::Setting& keyOf(HookEvent event) {
    switch (event) {
        case HookEvent::Receive:
            return setting::OnReceive;
        case HookEvent::Sent:
            return setting::OnSent;
        case HookEvent::Failed:
            return setting::OnFailed;
        case HookEvent::Report:
            break;
    }
    return setting::OnReport;
}

}  // namespace

QString eventName(HookEvent event) {
    constexpr const char* names[] = {"receive", "sent", "failed", "report"};
    return QString::fromLatin1(names[static_cast<int>(event)]);
}

struct HookRunner::Job {
    QString key;
    QStringList command;
    QProcessEnvironment environment;
    int timeLimitS = 30;
    QString id;
};

QStringList hookCommand(const QString& value) { return QProcess::splitCommand(value); }

HookRunner::HookRunner(QString workingFolder, storage::LogWriter& log)
    : m_workingFolder(std::move(workingFolder)), m_log(log), m_thread([this] { work(); }) {}

HookRunner::~HookRunner() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void HookRunner::queue(const config::Settings& settings, const HookMessage& message) {
    const config::Setting& key = keyOf(message.event);
    const QStringList command = hookCommand(settings.text(key));
    if (command.isEmpty()) return;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : {std::pair{"TELVANE_EVENT", eventName(message.event)},
                                      {"TELVANE_ID", message.id},
                                      {"TELVANE_NUMBER", message.number},
                                      {"TELVANE_TIME", message.timeStamp},
                                      {"TELVANE_TEXT", message.text},
                                      {"TELVANE_FILE", QDir::toNativeSeparators(message.file)},
                                      {"TELVANE_STATUS", message.status}})
        environment.insert(QString::fromLatin1(name), value);
    // Set only where there are several modems: a gateway of one gives its hooks what it always did.
    if (!message.modem.isEmpty())
        environment.insert(QStringLiteral("TELVANE_MODEM"), message.modem);
    Job job{QString::fromLatin1(key.key), command, environment,
            settings.strictInt32(setting::TimeLimit), message.id};
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void HookRunner::work() {
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
        if (m_jobs.empty()) return;  // ending, and nothing left to run
        const Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        runOne(job);
    }
}

void HookRunner::runOne(const Job& job) {
    QProcess process;
    process.setProgram(job.command.front());
    process.setArguments(job.command.mid(1));
    process.setProcessEnvironment(job.environment);
    process.setWorkingDirectory(m_workingFolder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef Q_OS_UNIX
    // A group of its own, so that a hook that hangs goes with everything it started.
    process.setChildProcessModifier([] { ::setsid(); });
#endif
    process.start();
    QString problem;
    const int limitMs = std::max(1, job.timeLimitS) * 1000;
    if (!process.waitForStarted(limitMs)) {
        problem = QStringLiteral("не запускается: ") + process.errorString();
    } else if (!process.waitForFinished(limitMs)) {
#ifdef Q_OS_UNIX
        ::kill(-static_cast<pid_t>(process.processId()), SIGKILL);
#endif
        process.kill();
        process.waitForFinished(-1);
        problem =
            QStringLiteral("не завершился за %1 с, остановлен").arg(std::max(1, job.timeLimitS));
    } else if (process.exitStatus() != QProcess::NormalExit) {
        problem = QStringLiteral("завершился аварийно");
    } else if (process.exitCode() != 0) {
        problem = QStringLiteral("код выхода %1").arg(process.exitCode());
    }
    if (problem.isEmpty()) return;
    (void)m_log.write({QStringLiteral("Ошибка обработчика ") + job.key + QStringLiteral(": ") +
                           job.command.front(),
                       problem, QStringLiteral("сообщение ") + job.id});
}

}  // namespace telvane::lifecycle
