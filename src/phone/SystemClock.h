#pragma once
// The real clock and event pump of the engine's thread.

#include "contracts/Clock.h"

namespace telvane::phone {

class SystemClock final : public contracts::Clock {
public:
    SystemClock();
    qint64 monotonicMs() const override;
    void pause(int ms) override;

private:
    qint64 m_origin;
};

class QtEventPump final : public contracts::EventPump {
public:
    void run() override;
};

}  // namespace telvane::phone
