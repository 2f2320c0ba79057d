#pragma once
// Time as the phone link and the engine see it: a monotonic clock (so that a transaction started
// shortly before midnight still times out), the fixed pauses between commands, and the wall
// clock for file names and log lines. Injected, so that tests advance time instead of waiting
// for it, and cross midnight without waiting for it.

#include <QDateTime>
#include <QtGlobal>

namespace telvane::contracts {

class Clock {
public:
    virtual ~Clock() = default;
    /// Milliseconds on a clock that never goes back and ignores changes of the wall clock.
    virtual qint64 monotonicMs() const = 0;
    /// A fixed pause of `ms` milliseconds.
    virtual void pause(int ms) = 0;
};

/// "Let pending messages run": handles the commands queued for the engine's thread (an exit
/// request, say) while the engine waits on the phone.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void run() = 0;
};

/// The date and time of day.
class WallClock {
public:
    virtual ~WallClock() = default;
    virtual QDateTime now() const = 0;
};

class SystemWallClock final : public WallClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

}  // namespace telvane::contracts
