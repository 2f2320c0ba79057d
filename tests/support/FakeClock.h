#pragma once
// Time that moves only when told, for the engine, the phone link and a poll: pauses advance the
// monotonic clock; the wall clock is `wall` when set, else the real one `laterSeconds` on; the
// event pump runs `hook` once, as a command queued for the engine's thread would.

#include <functional>

#include "contracts/Clock.h"

namespace telvane::test {

class FakeClock final : public contracts::Clock,
                        public contracts::EventPump,
                        public contracts::WallClock {
public:
    qint64 monotonicMs() const override { return ms; }
    void pause(int pauseMs) override { ms += pauseMs; }
    void run() override {
        if (hook) std::exchange(hook, nullptr)();
    }
    QDateTime now() const override {
        return wall.isValid() ? wall : QDateTime::currentDateTime().addSecs(laterSeconds);
    }

    qint64 ms = 0;
    QDateTime wall;
    qint64 laterSeconds = 0;
    std::function<void()> hook;
};

}  // namespace telvane::test
