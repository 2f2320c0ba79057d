#pragma once
// The poll timer: a QTimer that ticks once a second on the engine's thread.

#include <QObject>
#include <QTimer>

#include "contracts/PollContext.h"

namespace telvane::gateway {

class QtTickSource final : public QObject, public contracts::TickSource {
    Q_OBJECT
public:
    explicit QtTickSource(QObject* parent = nullptr) : QObject(parent) {
        m_timer.setInterval(1000);
        connect(&m_timer, &QTimer::timeout, this, &QtTickSource::tick);
    }
    void setEnabled(bool enabled) override { enabled ? m_timer.start() : m_timer.stop(); }
    bool isEnabled() const override { return m_timer.isActive(); }

signals:
    void tick();

private:
    QTimer m_timer{this};
};

}  // namespace telvane::gateway
