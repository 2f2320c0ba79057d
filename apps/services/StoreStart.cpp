#include "services/StoreStart.h"

#include <QDateTime>

#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "store/LegacyImport.h"
#include "store/PostgresStore.h"
#include "store/SqliteStore.h"

namespace telvane::services {

PreparedStore prepareStore(const QString& iniPath, const QString& home,
                           const std::function<void(const QString&)>& say,
                           storage::LogWriter& log) {
    const config::Settings settings(iniPath, home);
    const bool shared = settings.text(config::setting::StoreBackend)
                            .trimmed()
                            .compare(u"postgresql", Qt::CaseInsensitive) == 0;
    const QString url = shared ? settings.text(config::setting::StoreUrl).trimmed() : QString();
    const store::StoreOpener opener =
        shared ? store::PostgresStore::opener(url)
               : store::SqliteStore::opener(home + store::SqliteStore::fileName());
    const QDateTime now = QDateTime::currentDateTime();
    QStringList lines;
    auto opened = opener();
    if (!opened) {
        lines << QStringLiteral("Хранилище недоступно: ") + opened.error().message;
    } else {
        const store::ImportReport report = store::importLegacyFiles(
            home, settings.folder(config::setting::Send), *opened.value(), now);
        if (!report.imported.isEmpty())
            lines << QStringLiteral("Перенесено в хранилище: ") + report.imported.join(u", ");
        for (const QString& problem : report.problems)
            lines << QStringLiteral("Не перенесено в хранилище: ") + problem;
    }
    for (const QString& line : lines) {
        say(line);
        (void)log.write({line});
    }
    return {opener, url};
}

}  // namespace telvane::services
