#include "gateway/EngineAssembly.h"

namespace telvane::gateway {

EngineAssembly::EngineAssembly(const QString& iniFilePath, const QString& homeFolder,
                               contracts::TickSource& ticks)
    : m_settings(iniFilePath, homeFolder),
      m_exchange(m_port, m_settings, m_clock, m_pump),
      m_hooks(m_settings.homeFolder()),
      m_engine({m_exchange, m_settings, m_clock, m_pump, ticks, m_inbox, m_outbox, m_wallClock}) {
    m_inbox.setHooks(&m_hooks);
    m_outbox.setHooks(&m_hooks);
}

}  // namespace telvane::gateway
