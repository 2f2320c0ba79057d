#include "storage/SyncFile.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace telvane::storage {

bool syncToDisk(QFile& file) {
    if (!file.flush()) {
        return false;
    }
#ifdef _WIN32
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

}  // namespace telvane::storage
