#pragma once
// The inbox retrieval and the outbox scan that the programs put into the engine: the one place
// where the front ends and the subsystems meet.

#include <memory>

#include "gateway/PollServices.h"

namespace telvane::services {

std::unique_ptr<gateway::InboxRetriever> makeInboxRetriever();
std::unique_ptr<gateway::OutboxScanner> makeOutboxScanner();

}  // namespace telvane::services
