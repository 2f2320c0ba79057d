#include "services/EngineAndWeb.h"

namespace telvane::services {

std::unique_ptr<store::QueueBell> joinEngineAndWeb(gateway::EngineHost& host, http::HttpHost& web,
                                                   const QString& sharedUrl) {
    QObject::connect(&host, &gateway::EngineHost::statusChanged, &web, &http::HttpHost::showStatus);
    QObject::connect(&host, &gateway::EngineHost::networkChanged, &web,
                     &http::HttpHost::showNetwork);
    QObject::connect(&web, &http::HttpHost::messageQueued, &host,
                     &gateway::EngineHost::requestSend);
    if (sharedUrl.isEmpty()) return nullptr;
    auto bell = std::make_unique<store::QueueBell>(sharedUrl);
    QObject::connect(bell.get(), &store::QueueBell::rang, &host, &gateway::EngineHost::requestSend);
    return bell;
}

}  // namespace telvane::services
