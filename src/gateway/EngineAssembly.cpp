#include "gateway/EngineAssembly.h"

namespace telvane::gateway {

EngineAssembly::EngineAssembly(const QString& iniFilePath, const QString& homeFolder,
                               TickSource& ticks, InboxRetriever& inbox, OutboxScanner& outbox)
    : m_settings(iniFilePath, homeFolder),
      m_exchange(m_port, m_settings, m_status, m_clock, m_pump),
      m_engine({m_exchange, m_settings, m_clock, m_pump, ticks, inbox, outbox, m_wallClock}) {
    m_status.engine = &m_engine;
}

}  // namespace telvane::gateway
