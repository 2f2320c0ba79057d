#pragma once
// When each open connection of the interface must be closed. A connection has 10 seconds from
// its first byte to deliver a whole request (the first one's clock starts when it connects, so
// a TLS handshake counts too) and may then wait up to 60 seconds for its next one; the answer
// in between is the transport's business. A client that sends one byte every few seconds
// therefore still runs out of time, which an inactivity timeout alone would not do.
//
// Pure: the caller gives the time, and for a connection between two requests the number of
// bytes its socket has received so far, which is how the start of the next request shows
// before the transport has read a whole line of it.

#include <QtGlobal>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

namespace telvane::http {

class ConnectionDeadlines {
public:
    struct Limits {
        qint64 requestMs = 10000;
        qint64 idleMs = 60000;
    };

    explicit ConnectionDeadlines(Limits limits) : m_limits(limits) {}

    /// A new connection, waiting for its first request.
    void opened(int connection, qint64 nowMs);
    /// The head of a request was read; its clock started earlier when its first bytes were
    /// seen, now otherwise.
    void headRead(int connection, qint64 nowMs);
    /// The whole request is in; the answer goes out with no deadline of ours.
    void requestRead(int connection);
    /// The answer went out; `receivedBytes` the socket's count at that moment, if known.
    void answered(int connection, qint64 nowMs, std::optional<quint64> receivedBytes);
    void closed(int connection);

    /// The connections past their time. `receivedBytes` tells, for a connection between two
    /// requests, whether bytes of the next one came (nothing: not known, the idle time runs).
    std::vector<int> overdue(qint64 nowMs,
                             const std::function<std::optional<quint64>(int)>& receivedBytes);

    std::size_t size() const { return m_connections.size(); }

private:
    enum class Phase { Reading, Answering, Idle };
    struct Connection {
        Phase phase = Phase::Reading;
        qint64 sinceMs = 0;
        std::optional<quint64> bytesWhenIdle;
    };

    Limits m_limits;
    std::unordered_map<int, Connection> m_connections;
};

}  // namespace telvane::http
