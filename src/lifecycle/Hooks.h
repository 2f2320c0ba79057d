#pragma once
// Programs the administrator names in [Hooks], run for each message event: OnReceive once a
// received message is in the day's file, OnSent and OnFailed once an outgoing message's status
// file is written, OnReport once a delivery report has updated it.
//
// A hook runs on a thread of its own, one at a time, in the order of the events, so that the
// engine never waits for one: an event is queued the moment its message is safe on the disk
// and the poll goes on. A hook that cannot start, ends with an exit code other than 0 or runs
// longer than [Hooks] TimeLimit (it and everything it started are then killed) is named in
// "Log.txt"; the message is on the disk already, so nothing is lost. Events still queued when
// the program ends are run before it ends.

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "storage/LogFile.h"

namespace telvane::config {
class Settings;
}

namespace telvane::lifecycle {

enum class HookEvent { Receive, Sent, Failed, Report };

/// One message as its hook sees it, in environment variables: TELVANE_EVENT (receive, sent,
/// failed, report), TELVANE_ID, TELVANE_NUMBER, TELVANE_TIME, TELVANE_TEXT (UTF-8),
/// TELVANE_FILE and TELVANE_STATUS.
struct HookMessage {
    HookEvent event = HookEvent::Receive;
    QString id;         ///< received: the running number; outgoing: the file's id
    QString number;     ///< the sender, or the destination as it went out
    QString timeStamp;  ///< received: the centre's time stamp; otherwise the status file's time
    QString text;
    QString file;    ///< the day's file, or the outgoing file in its folder
    QString status;  ///< received, or the status file's state
    QString modem;   ///< the modem that received or sent it; empty for a gateway of one
};

/// "receive", "sent", "failed", "report".
QString eventName(HookEvent event);

/// The program and its arguments from a [Hooks] value: blanks separate them, double quotes
/// keep blanks inside one, and three double quotes in a row stand for one (QProcess's rule).
/// No shell reads it: ">", "|", "$" and "*" are plain characters.
QStringList hookCommand(const QString& value);

class HookRunner {
public:
    /// Hooks run in `workingFolder` (the home folder); their failures go to `log`, which must
    /// outlive this.
    HookRunner(QString workingFolder, storage::LogWriter& log);
    /// Runs the events still queued, then ends.
    ~HookRunner();
    HookRunner(const HookRunner&) = delete;
    HookRunner& operator=(const HookRunner&) = delete;

    /// Queues the event's hook as the settings name it now; nothing when none is set.
    /// (announce() also queues the webhook's.)
    void queue(const config::Settings& settings, const HookMessage& message);

private:
    struct Job;
    void work();
    void runOne(const Job& job);

    QString m_workingFolder;
    storage::LogWriter& m_log;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_ending = false;
    std::thread m_thread;
};

}  // namespace telvane::lifecycle
