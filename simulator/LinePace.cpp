#include "LinePace.h"

#include <algorithm>

namespace telvane::simulator {

std::chrono::nanoseconds LinePace::byteTime() const {
    return std::chrono::nanoseconds(m_baud > 0 ? 10'000'000'000LL / m_baud : 0);
}

void LinePace::push(const QByteArray& bytes, Clock::time_point now) {
    if (bytes.isEmpty()) return;
    Clock::time_point start = now;
    if (!m_segments.empty()) {
        const auto& last = m_segments.back();
        start = std::max<Clock::time_point>(now, last.start + byteTime() * last.bytes.size());
    }
    m_segments.push_back({bytes, start});
}

QByteArray LinePace::take(Clock::time_point now) {
    QByteArray out;
    const auto perByte = byteTime();
    while (!m_segments.empty()) {
        auto& head = m_segments.front();
        qsizetype arrived = head.bytes.size();
        if (perByte.count() > 0) {
            arrived =
                now < head.start ? 0 : std::min<qsizetype>(arrived, (now - head.start) / perByte);
        }
        out += head.bytes.left(arrived);
        if (arrived < head.bytes.size()) {
            head.bytes.remove(0, arrived);
            head.start += perByte * arrived;
            break;
        }
        m_segments.pop_front();
    }
    return out;
}

std::optional<LinePace::Clock::time_point> LinePace::nextDue() const {
    if (m_segments.empty()) return std::nullopt;
    return m_segments.front().start + byteTime();
}

}  // namespace telvane::simulator
