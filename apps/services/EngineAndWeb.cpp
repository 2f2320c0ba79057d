#include "services/EngineAndWeb.h"

namespace telvane::services {

std::unique_ptr<store::QueueBell> joinEngineAndWeb(ModemEngines& engines, http::HttpHost& web,
                                                   const QString& sharedUrl) {
    gateway::EngineHost& host = engines.first();
    QObject::connect(&host, &gateway::EngineHost::statusChanged, &web, &http::HttpHost::showStatus);
    QObject::connect(&host, &gateway::EngineHost::networkChanged, &web,
                     &http::HttpHost::showNetwork);
    QObject::connect(&web, &http::HttpHost::messageQueued, &engines, &ModemEngines::requestSend);
    if (sharedUrl.isEmpty()) return nullptr;
    auto bell = std::make_unique<store::QueueBell>(sharedUrl);
    QObject::connect(bell.get(), &store::QueueBell::rang, &engines, &ModemEngines::requestSend);
    return bell;
}

}  // namespace telvane::services
