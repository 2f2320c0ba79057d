#include "gateway/NoPollServices.h"
#include "services/PollServiceFactory.h"

namespace telvane::services {

std::unique_ptr<gateway::InboxRetriever> makeInboxRetriever() {
    return std::make_unique<gateway::NoInbox>();
}

}  // namespace telvane::services
