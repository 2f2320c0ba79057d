// Where Telvane keeps its settings: --home, the program's folder, or the per-user folder.

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>

#include "ConfigTestSupport.h"
#include "config/HomeFolder.h"

namespace telvane::config {
namespace {

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

TEST(HomeFolder, OverrideWinsAndNeedNotExist) {
    QTemporaryDir app;
    const QString override = app.path() + QStringLiteral("/elsewhere");
    EXPECT_EQ(HomeFolder::resolve(override, app.path()), native(override) + QDir::separator());
    EXPECT_EQ(HomeFolder::resolve(override + QStringLiteral("/"), app.path()),
              native(override) + QDir::separator());
}

TEST(HomeFolder, RelativeOverrideIsMadeAbsolute) {
    const QString home = HomeFolder::resolve(QStringLiteral("rel/home"), QString());
    EXPECT_TRUE(QDir::isAbsolutePath(home));
    EXPECT_TRUE(home.endsWith(native(QStringLiteral("rel/home/"))));
}

TEST(HomeFolder, WritableProgramFolderIsAPortableHome) {
    QTemporaryDir app;
    EXPECT_EQ(HomeFolder::resolve(QString(), app.path()), native(app.path()) + QDir::separator());
}

TEST(HomeFolder, ReadOnlyProgramFolderFallsBackToThePerUserFolder) {
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir app;
    test::Immutable lock(app.path());
    if (!lock.ok()) GTEST_SKIP() << "the file system has no immutable attribute";
    const QString home = HomeFolder::resolve(QString(), app.path());
    EXPECT_EQ(home, HomeFolder::perUserFolder());
    EXPECT_TRUE(home.endsWith(QStringLiteral("Telvane") + QDir::separator()));
    EXPECT_TRUE(QDir(home).exists());
}

TEST(HomeFolder, MissingProgramFolderFallsBackToThePerUserFolder) {
    QStandardPaths::setTestModeEnabled(true);
    EXPECT_EQ(HomeFolder::resolve(QString(), QStringLiteral("/nonexistent/bin")),
              HomeFolder::perUserFolder());
}

TEST(HomeFolder, IniPathIsInTheHome) {
    EXPECT_EQ(HomeFolder::iniPath(QStringLiteral("/srv/telvane/")),
              QStringLiteral("/srv/telvane/Telvane.ini"));
    EXPECT_EQ(HomeFolder::iniPath(QStringLiteral("/srv/telvane")),
              QStringLiteral("/srv/telvane") + QDir::separator() + QStringLiteral("Telvane.ini"));
}

}  // namespace
}  // namespace telvane::config
