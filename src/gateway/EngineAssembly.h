#pragma once
// The engine with its real port, clocks and settings, put together once for every program.
// Its owner supplies the tick source: a timer in a front end, or a hand-driven one for --once.

#include <QString>

#include "config/Settings.h"
#include "gateway/GatewayEngine.h"
#include "phone/ARCComm.h"
#include "phone/AtExchange.h"
#include "phone/Clock.h"

namespace telvane::gateway {

class EngineAssembly {
public:
    EngineAssembly(const QString& iniFilePath, const QString& homeFolder, TickSource& ticks,
                   InboxRetriever& inbox, OutboxScanner& outbox);

    GatewayEngine& engine() { return m_engine; }
    phone::ARCComm& port() { return m_port; }

private:
    // The exchange reports its status through the engine, which is built after it.
    struct StatusForwarder final : StatusSink {
        GatewayEngine* engine = nullptr;
        void SetStatus(const Status& s) override { engine->SetStatus(s); }
        void SetStatusIcon(StatusIcon i) override { engine->SetStatusIcon(i); }
        const Status& currentStatus() const override { return engine->currentStatus(); }
    };

    config::Settings m_settings;
    phone::SystemClock m_clock;
    SystemWallClock m_wallClock;
    phone::QtEventPump m_pump;
    phone::ARCComm m_port;
    StatusForwarder m_status;
    phone::AtExchange m_exchange;
    GatewayEngine m_engine;
};

}  // namespace telvane::gateway
