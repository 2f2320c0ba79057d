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
    /// Tries to take the lock of the gateway that uses `homeFolder`.
    explicit SingleInstance(const QString& homeFolder);
    bool isFirst() const { return m_locked; }
    QString lockFilePath() const { return m_path; }

    static QString warningTitle();
    static QString warningText();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_locked = false;
};

}  // namespace telvane::gateway
