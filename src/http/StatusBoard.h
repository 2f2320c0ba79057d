#pragma once
// The engine's status and network lines as the interface shows them. The engine's signals set
// them on the front end's thread; the HTTP threads read them: a lock held for a copy, so that
// neither side ever waits for the other's work.

#include <QString>
#include <mutex>

namespace telvane::http {

class StatusBoard {
public:
    void setStatus(const QString& text) {
        const std::lock_guard lock(m_lock);
        m_status = text;
    }
    void setNetwork(const QString& text) {
        const std::lock_guard lock(m_lock);
        m_network = text;
    }
    QString status() const {
        const std::lock_guard lock(m_lock);
        return m_status;
    }
    QString network() const {
        const std::lock_guard lock(m_lock);
        return m_network;
    }

private:
    mutable std::mutex m_lock;
    QString m_status = QStringLiteral("Telvane");
    QString m_network;
};

}  // namespace telvane::http
