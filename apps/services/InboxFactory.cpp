#include "receive/InboxRetrieval.h"
#include "services/PollServiceFactory.h"

namespace telvane::services {

std::unique_ptr<gateway::InboxRetriever> makeInboxRetriever() {
    return std::make_unique<receive::InboxRetrieval>();
}

}  // namespace telvane::services
