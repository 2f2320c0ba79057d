#pragma once
// The engine with its real port, clocks, settings, inbox and outbox, put together once for
// every program. Its owner supplies the tick source: a timer in a front end, or a hand-driven
// one for --once.

#include <QString>

#include "config/Settings.h"
#include "gateway/GatewayEngine.h"
#include "lifecycle/Hooks.h"
#include "phone/ARCComm.h"
#include "phone/AtExchange.h"
#include "phone/SystemClock.h"
#include "receive/InboxRetrieval.h"
#include "send/OutboxScan.h"
#include "storage/FileSystem.h"
#include "storage/LogFile.h"
#include "store/Store.h"

namespace telvane::gateway {

/// [Options] Pacing as read at start: "fast", or the standard pauses for anything else.
contracts::PacingProfile pacingFor(const config::Settings& settings);

/// Which modem of the gateway an engine drives; the default is a gateway of one.
struct EnginePlace {
    QString modem;    ///< its identity in the store ("" for a gateway of one)
    QString section;  ///< its "[Modem <section>]"; "" for [Options]
    contracts::ModemPool* pool = nullptr;
};

class EngineAssembly {
public:
    /// `openStore` gives this thread its connection to the store.
    EngineAssembly(const QString& iniFilePath, const QString& homeFolder,
                   contracts::TickSource& ticks, const store::StoreOpener& openStore,
                   contracts::EngineFigures& figures, const EnginePlace& place = {});

    GatewayEngine& engine() { return m_engine; }

private:
    config::Settings m_settings;
    contracts::PacingProfile m_pacing;
    std::unique_ptr<store::Store> m_store;
    phone::SystemClock m_clock;
    contracts::SystemWallClock m_wallClock;
    storage::DiskFileSystem m_disk;
    storage::LogWriter m_log;  // every "Log.txt" line of the engine, its inbox, outbox and hooks
    phone::QtEventPump m_pump;
    phone::ARCComm m_port;
    phone::AtExchange m_exchange;
    lifecycle::HookRunner m_hooks;  // outlives the inbox and the outbox that queue to it
    receive::InboxRetrieval m_inbox;
    send::OutboxScan m_outbox;
    GatewayEngine m_engine;
};

}  // namespace telvane::gateway
