#pragma once
// A clock that moves only when told: pauses advance it, nothing else does.

#include "contracts/Clock.h"

namespace telvane::test {

class FakeClock final : public contracts::Clock {
public:
    qint64 monotonicMs() const override { return now; }
    void pause(int ms) override { now += ms; }
    qint64 now = 0;
};

}  // namespace telvane::test
