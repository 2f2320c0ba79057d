#include "office/LockFiles.h"

#include <QDir>
#include <QFileInfo>

namespace telvane::office {

std::optional<QString> findOfficeLockFile(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    const QString candidates[] = {
        QStringLiteral(".~lock.") + name + QLatin1Char('#'),
        QStringLiteral("~$") + name,
        QStringLiteral("~$") + name.mid(1),
        QStringLiteral("~$") + name.mid(2),
    };
    for (const QString& candidate : candidates) {
        const QString lockPath = info.dir().filePath(candidate);
        if (QFileInfo::exists(lockPath)) {
            return lockPath;
        }
    }
    return std::nullopt;
}

}  // namespace telvane::office
