#include "http/ConnectionDeadlines.h"

namespace telvane::http {

void ConnectionDeadlines::opened(int connection, qint64 nowMs) {
    m_connections[connection] = {Phase::Reading, nowMs, std::nullopt};
}

void ConnectionDeadlines::headRead(int connection, qint64 nowMs) {
    const auto it = m_connections.find(connection);
    if (it == m_connections.end() || it->second.phase == Phase::Reading) return;
    it->second = {Phase::Reading, nowMs, std::nullopt};
}

void ConnectionDeadlines::requestRead(int connection) {
    const auto it = m_connections.find(connection);
    if (it != m_connections.end()) it->second.phase = Phase::Answering;
}

void ConnectionDeadlines::answered(int connection, qint64 nowMs,
                                   std::optional<quint64> receivedBytes) {
    const auto it = m_connections.find(connection);
    if (it != m_connections.end()) it->second = {Phase::Idle, nowMs, receivedBytes};
}

void ConnectionDeadlines::closed(int connection) { m_connections.erase(connection); }

std::vector<int> ConnectionDeadlines::overdue(
    qint64 nowMs, const std::function<std::optional<quint64>(int)>& receivedBytes) {
    std::vector<int> late;
    for (auto& [key, connection] : m_connections) {
        if (connection.phase == Phase::Idle && connection.bytesWhenIdle) {
            const std::optional<quint64> now = receivedBytes(key);
            if (now && *now > *connection.bytesWhenIdle) connection = {Phase::Reading, nowMs, {}};
        }
        const qint64 allowed = connection.phase == Phase::Reading ? m_limits.requestMs
                               : connection.phase == Phase::Idle  ? m_limits.idleMs
                                                                  : -1;
        if (allowed >= 0 && nowMs - connection.sinceMs > allowed) late.push_back(key);
    }
    return late;
}

}  // namespace telvane::http
