#include "services/ProgramLog.h"

#include "config/CodecSettings.h"
#include "config/SettingsKeys.h"

namespace telvane::services {

ProgramLog::ProgramLog(const config::Settings& settings)
    : m_writer(
          m_disk, [] { return QDateTime::currentDateTime(); },
          settings.folder(config::setting::Logs), config::textEncoding(settings)) {}

}  // namespace telvane::services
