#pragma once
// Flushing a file through every cache to the disk.

#include <QFile>

namespace telvane::storage {

/// Flushes Qt's buffer and the system's cache of @p file to the disk.
bool syncToDisk(QFile& file);

}  // namespace telvane::storage
