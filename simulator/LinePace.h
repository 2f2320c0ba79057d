#pragma once
// One direction of a serial line at a given speed: bytes put in at some moment come out one
// character time (ten bits: start, eight data, stop) after another, never faster, so that a
// listing or a PDU takes as long as it would on a real port.

#include <QByteArray>
#include <chrono>
#include <deque>
#include <optional>

namespace telvane::simulator {

class LinePace {
public:
    using Clock = std::chrono::steady_clock;

    /// Bits a second; 0 passes bytes on at once.
    void setBaud(int baud) { m_baud = baud; }
    int baud() const { return m_baud; }

    void push(const QByteArray& bytes, Clock::time_point now);
    /// The bytes whose last bit has gone over the line by `now`.
    QByteArray take(Clock::time_point now);
    /// When the next byte will have arrived; nullopt when nothing is on the line.
    std::optional<Clock::time_point> nextDue() const;
    void clear() { m_segments.clear(); }

private:
    std::chrono::nanoseconds byteTime() const;

    struct Segment {
        QByteArray bytes;
        Clock::time_point start;  // when the first of `bytes` starts on the line
    };
    std::deque<Segment> m_segments;
    int m_baud = 0;
};

}  // namespace telvane::simulator
