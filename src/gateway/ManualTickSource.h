#pragma once
// A tick source that only records whether the timer is on; its owner calls the tick itself
// (a single poll with --once, or a test).

#include "contracts/PollContext.h"

namespace telvane::gateway {

class ManualTickSource final : public contracts::TickSource {
public:
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }

private:
    bool m_enabled = false;
};

}  // namespace telvane::gateway
