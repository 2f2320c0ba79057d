#include "send/OutboxScan.h"
#include "services/PollServiceFactory.h"

namespace telvane::services {

std::unique_ptr<gateway::OutboxScanner> makeOutboxScanner() {
    return std::make_unique<send::OutboxScan>();
}

}  // namespace telvane::services
