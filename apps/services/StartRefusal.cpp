#include "services/StartRefusal.h"

namespace telvane::services {

using Outcome = gateway::SingleInstance::Outcome;

std::optional<StartRefusal> startRefusal(const gateway::SingleInstance& instance) {
    switch (instance.outcome()) {
        case Outcome::First:
            return std::nullopt;
        case Outcome::AlreadyRunning: {
            const QString title = gateway::SingleInstance::warningTitle();
            return StartRefusal{AlreadyRunning, title, instance.warningText(),
                                title + QStringLiteral(": ") + instance.warningLine(),
                                QStringLiteral("msgAlreadyRunning")};
        }
        case Outcome::LockNotWritten:
            return StartRefusal{LockNotWritten,
                                {},
                                instance.lockProblem(),
                                instance.lockProblem(),
                                QStringLiteral("msgLockNotWritten")};
    }
    return std::nullopt;
}

}  // namespace telvane::services
