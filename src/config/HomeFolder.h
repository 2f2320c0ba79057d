#pragma once
// The home folder holds what used to sit beside the program: Telvane.ini, the part files of long
// messages and the default Send, Receive and Logs folders.

#include <QString>

namespace telvane::config {

struct HomeFolder {
    /// The home folder, absolute and ending in the native separator:
    /// - `homeOverride` (the --home DIR option) when it is not empty, whether or not it exists;
    /// - else `applicationDir`, the program's own folder, when it exists and is writable (a
    ///   portable copy keeps its settings with it);
    /// - else perUserFolder(), which is created when missing.
    static QString resolve(const QString& homeOverride, const QString& applicationDir);

    /// The per-user data folder of the platform followed by "Telvane", ending in the native
    /// separator (on Linux ~/.local/share/Telvane/).
    static QString perUserFolder();

    /// The settings file of a home folder: `home` followed by "Telvane.ini".
    static QString iniPath(const QString& home);
};

}  // namespace telvane::config
