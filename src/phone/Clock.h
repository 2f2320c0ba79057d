#pragma once
// Time as the phone link and the engine see it: a monotonic clock (so that a transaction started
// shortly before midnight still times out) and the fixed pauses between commands. Injected, so
// that tests advance time instead of waiting for it.

#include <QtGlobal>

namespace telvane::phone {

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

class SystemClock final : public Clock {
public:
    SystemClock();
    qint64 monotonicMs() const override;
    void pause(int ms) override;

private:
    qint64 m_origin;
};

class QtEventPump final : public EventPump {
public:
    void run() override;
};

}  // namespace telvane::phone
