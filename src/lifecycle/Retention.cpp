#include "lifecycle/Retention.h"

#include <QDir>
#include <QFile>

#include "config/Settings.h"
#include "config/SettingsKeys.h"

namespace telvane::lifecycle {

namespace {

namespace setting = config::setting;

const QString kLastTidied = QStringLiteral("tidied");

qint64 removeOlder(const QString& folder, const QDateTime& before) {
    if (folder.isEmpty()) return 0;
    qint64 removed = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files | QDir::NoSymLinks))
        if (file.lastModified() < before && QFile::remove(file.filePath())) ++removed;
    return removed;
}

}  // namespace

std::optional<qint64> tidy(store::Store& store, const config::Settings& settings,
                           const QDateTime& now) {
    const auto last = store.fact(kLastTidied);
    if (!last) return std::nullopt;
    if (last->has_value()) {
        const QDateTime at = QDateTime::fromString(**last, Qt::ISODate);
        if (at.isValid() && at.secsTo(now) < 24 * 3600 && at <= now) return std::nullopt;
    }
    qint64 removed = 0;
    if (const qint32 days = settings.strictInt32(setting::StoreKeepDays); days > 0) {
        const auto pruned = store.prune(now.addDays(-days));
        if (!pruned) return std::nullopt;
        removed += *pruned;
    }
    if (const qint32 days = settings.strictInt32(setting::FolderKeepDays); days > 0) {
        removed += removeOlder(settings.optionalFolder(setting::Sent), now.addDays(-days));
        removed += removeOlder(settings.optionalFolder(setting::Failed), now.addDays(-days));
    }
    if (!store.setFact(kLastTidied, now.toString(Qt::ISODate))) return std::nullopt;
    return removed;
}

}  // namespace telvane::lifecycle
