// Where Telvane keeps its settings: --home, the program's folder, or the per-user folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>

#include "ConfigTestSupport.h"
#include "config/HomeFolder.h"

namespace telvane::config {
namespace {

QString slashed(const QString& path) { return QDir::toNativeSeparators(path) + QDir::separator(); }

TEST(HomeFolder, OverrideWinsNeedNotExistAndIsMadeAbsolute) {
    QTemporaryDir app;
    const QString override = app.path() + QStringLiteral("/elsewhere");
    EXPECT_EQ(HomeFolder::resolve(override, app.path()), slashed(override));
    EXPECT_EQ(HomeFolder::resolve(override + QStringLiteral("/"), app.path()), slashed(override));
    const QString relative = HomeFolder::resolve(QStringLiteral("rel/home"), QString());
    EXPECT_TRUE(QDir::isAbsolutePath(relative));
    EXPECT_TRUE(relative.endsWith(slashed(QStringLiteral("rel/home"))));
    // Without an override a writable program folder is a portable home.
    EXPECT_EQ(HomeFolder::resolve(QString(), app.path()), slashed(app.path()));
}

TEST(HomeFolder, UnwritableOrMissingProgramFolderFallsBackToThePerUserFolder) {
    QStandardPaths::setTestModeEnabled(true);
    EXPECT_EQ(HomeFolder::resolve(QString(), QStringLiteral("/nonexistent/bin")),
              HomeFolder::perUserFolder());
    QTemporaryDir app;
    test::Immutable lock(app.path());
    if (!lock.ok()) GTEST_SKIP() << "the file system has no immutable attribute";
    const QString home = HomeFolder::resolve(QString(), app.path());
    EXPECT_EQ(home, HomeFolder::perUserFolder());
    EXPECT_TRUE(home.endsWith(QStringLiteral("Telvane") + QDir::separator()));
    EXPECT_TRUE(QDir(home).exists());
}

TEST(HomeFolder, IniPathIsInTheHome) {
    EXPECT_EQ(HomeFolder::iniPath(QStringLiteral("/srv/telvane/")),
              QStringLiteral("/srv/telvane/Telvane.ini"));
    EXPECT_EQ(HomeFolder::iniPath(QStringLiteral("/srv/telvane")),
              slashed(QStringLiteral("/srv/telvane")) + QStringLiteral("Telvane.ini"));
}

}  // namespace
}  // namespace telvane::config
