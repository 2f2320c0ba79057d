#include "config/HomeFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace telvane::config {
namespace {

QString asFolder(const QString& path) {
    QString native = QDir::toNativeSeparators(QDir(path).absolutePath());
    if (!native.endsWith(QDir::separator())) native += QDir::separator();
    return native;
}

}  // namespace

QString HomeFolder::resolve(const QString& homeOverride, const QString& applicationDir) {
    if (!homeOverride.isEmpty()) return asFolder(homeOverride);
    const QFileInfo app(applicationDir);
    if (!applicationDir.isEmpty() && app.isDir() && app.isWritable())
        return asFolder(applicationDir);
    const QString perUser = perUserFolder();
    QDir().mkpath(perUser);
    return perUser;
}

QString HomeFolder::perUserFolder() {
    // The generic location, not the application one: the tray application and the service
    // have different application names but must share one home.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return asFolder(base + QStringLiteral("/Telvane"));
}

QString HomeFolder::iniPath(const QString& home) {
    if (home.isEmpty() || home.endsWith(u'/') || home.endsWith(QDir::separator())) {
        return home + QStringLiteral("Telvane.ini");
    }
    return home + QDir::separator() + QStringLiteral("Telvane.ini");
}

}  // namespace telvane::config
