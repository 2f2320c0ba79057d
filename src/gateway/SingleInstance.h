#pragma once
// One gateway per home folder: a second one would fight the first for the port and for the
// counters in the settings file. A lock file, not a search of window titles, so that an
// unrelated window can never block the start.

#include <QLockFile>
#include <QString>
#include <memory>

namespace telvane::gateway {

class SingleInstance {
public:
    enum class Outcome {
        First,           ///< this process holds the lock
        AlreadyRunning,  ///< another live process holds it
        LockNotWritten,  ///< the lock file could not be written (full disk, no rights)
    };

    /// Tries to take the lock of the gateway that uses `homeFolder`.
    explicit SingleInstance(const QString& homeFolder);
    Outcome outcome() const { return m_outcome; }

    static QString warningTitle();
    /// The tray application's warning box: the first line, an empty line and what to do.
    QString warningText() const;
    /// The same for a service, on one line: the process to stop and how.
    QString warningLine() const;
    /// LockNotWritten: which file could not be written and the likely reason, on one line.
    QString lockProblem() const;

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    Outcome m_outcome = Outcome::First;
    qint64 m_holderPid = 0;  ///< the process that holds the lock; 0 when it cannot be told
    QLockFile::LockError m_error = QLockFile::NoError;
};

}  // namespace telvane::gateway
