#pragma once
// "Log.txt" for what a program says outside its engine: the store's start and the HTTP
// interface. The engine writes its own lines through the writer its assembly builds.

#include "config/Settings.h"
#include "storage/FileSystem.h"
#include "storage/LogFile.h"

namespace telvane::services {

/// The Logs folder and [SMS] Encoding as the settings give them when the program starts, the
/// local disk and the system's clock.
class ProgramLog {
public:
    explicit ProgramLog(const config::Settings& settings);
    storage::LogWriter& writer() { return m_writer; }

private:
    storage::DiskFileSystem m_disk;
    storage::LogWriter m_writer;
};

}  // namespace telvane::services
