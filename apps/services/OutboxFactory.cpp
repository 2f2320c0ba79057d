#include "gateway/NoPollServices.h"
#include "services/PollServiceFactory.h"

namespace telvane::services {

std::unique_ptr<gateway::OutboxScanner> makeOutboxScanner() {
    return std::make_unique<gateway::NoOutbox>();
}

}  // namespace telvane::services
