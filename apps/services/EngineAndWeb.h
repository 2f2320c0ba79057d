#pragma once
// A program's HTTP interface beside its engine: the engine's lines for the status answer and
// the page, and a message queued (through this interface, or by another gateway sharing the
// store) sent at once rather than at the next poll.

#include <QString>
#include <memory>

#include "gateway/EngineHost.h"
#include "http/HttpHost.h"
#include "store/QueueBell.h"

namespace telvane::services {

/// Connects `web` and `host` both ways. The bell that hears the other gateways sharing
/// `sharedUrl` (none when it is empty) must live as long as both.
std::unique_ptr<store::QueueBell> joinEngineAndWeb(gateway::EngineHost& host, http::HttpHost& web,
                                                   const QString& sharedUrl);

}  // namespace telvane::services
