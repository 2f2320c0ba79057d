#include "gateway/EngineAssembly.h"

#include "config/CodecSettings.h"
#include "config/SettingsKeys.h"
#include "store/ReopeningStore.h"

namespace telvane::gateway {

contracts::PacingProfile pacingFor(const config::Settings& settings) {
    if (settings.text(config::setting::Pacing).trimmed().compare(u"fast", Qt::CaseInsensitive) == 0)
        return contracts::PacingProfile::fast();
    return {};
}

EngineAssembly::EngineAssembly(const QString& iniFilePath, const QString& homeFolder,
                               contracts::TickSource& ticks, const store::StoreOpener& openStore,
                               contracts::EngineFigures& figures, const EnginePlace& place)
    : m_settings(config::Settings(iniFilePath, homeFolder).forModem(place.section)),
      m_pacing(pacingFor(m_settings)),
      m_store(std::make_unique<store::ReopeningStore>(openStore)),
      m_log(
          m_disk, [this] { return m_wallClock.now(); }, m_settings.folder(config::setting::Logs),
          config::textEncoding(m_settings)),
      m_exchange(m_port, m_settings, m_clock, m_pump, figures, m_pacing),
      m_hooks(m_settings.homeFolder(), m_log),
      m_inbox(m_disk),
      m_engine({m_exchange, m_settings, m_clock, m_pump, ticks, m_inbox, m_outbox, m_wallClock,
                *m_store, figures, m_log, m_pacing, place.modem, place.pool}) {
    m_inbox.setHooks(&m_hooks);
    m_outbox.setHooks(&m_hooks);
}

}  // namespace telvane::gateway
