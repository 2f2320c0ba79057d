#include "services/EngineAndWeb.h"

#include "services/StoreStart.h"

namespace telvane::services {

std::unique_ptr<store::QueueBell> joinEngineAndWeb(gateway::EngineHost& host, http::HttpHost& web,
                                                   const QString& iniPath, const QString& home) {
    QObject::connect(&host, &gateway::EngineHost::statusChanged, &web, &http::HttpHost::showStatus);
    QObject::connect(&host, &gateway::EngineHost::networkChanged, &web,
                     &http::HttpHost::showNetwork);
    QObject::connect(&web, &http::HttpHost::messageQueued, &host,
                     &gateway::EngineHost::requestSend);
    auto bell = queueBell(iniPath, home);
    if (bell)
        QObject::connect(bell.get(), &store::QueueBell::rang, &host,
                         &gateway::EngineHost::requestSend);
    return bell;
}

}  // namespace telvane::services
