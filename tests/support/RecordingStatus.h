#pragma once
// A status sink that keeps every status text and icon it was given, and lets a test act the
// moment a status comes.

#include <QStringList>
#include <functional>

#include "contracts/Status.h"

namespace telvane::test {

class RecordingStatus final : public contracts::StatusSink {
public:
    void SetStatus(const contracts::Status& status) override {
        texts << (m_current = status).text;
        if (onStatus) onStatus(status);
    }
    void SetStatusIcon(contracts::StatusIcon icon) override { icons << int(icon); }
    const contracts::Status& currentStatus() const override { return m_current; }

    QStringList texts;
    QList<int> icons;
    std::function<void(const contracts::Status&)> onStatus;

private:
    contracts::Status m_current;
};

}  // namespace telvane::test
