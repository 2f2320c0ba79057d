#pragma once
// A program's HTTP interface beside its engine: the engine's lines for the status answer and
// the page, and a message queued (through this interface, or by another gateway sharing the
// store) sent at once rather than at the next poll.

#include <QString>
#include <memory>

#include "http/HttpHost.h"
#include "services/ModemEngines.h"
#include "store/QueueBell.h"

namespace telvane::services {

/// Connects `web` and the engines both ways: the first modem's lines to the interface, a message
/// queued to every modem. The bell that hears the other gateways sharing `sharedUrl` (none when
/// it is empty) must live as long as both.
std::unique_ptr<store::QueueBell> joinEngineAndWeb(ModemEngines& engines, http::HttpHost& web,
                                                   const QString& sharedUrl);

}  // namespace telvane::services
