#include "services/HomeOption.h"

#include <QCoreApplication>
#include <QDir>

#include "config/HomeFolder.h"

namespace telvane::services {

QCommandLineOption homeOption() {
    return QCommandLineOption(
        QStringLiteral("home"),
        QStringLiteral("Folder of Telvane.ini, the part files and the default Send, Receive and "
                       "Logs folders."),
        QStringLiteral("DIR"));
}

QString prepareHome(const QString& homeOverride) {
    const QString home =
        config::HomeFolder::resolve(homeOverride, QCoreApplication::applicationDirPath());
    QDir().mkpath(home);
    return home;
}

}  // namespace telvane::services
