#pragma once
// Reading and writing single settings of an INI file in Windows-1251, with the semantics of the
// Windows private-profile functions that the settings file has always been edited with.

#include <QString>
#include <QStringList>

namespace telvane::config {

/// The value of `key` in `section` of the INI file `fileName`.
///
/// Section and key names match without regard to letter case. The stored value comes back
/// without the blanks around it and without one pair of matching quotes around it, cut to 254
/// characters. `defaultValue` comes back unchanged when the file, the section or the key is
/// missing, or when the file cannot be read. Never fails. The file's contents are kept between
/// calls while its size and modification time stay the same (and it was last changed more than
/// two seconds ago).
QString ReadIniValue(const QString& fileName, const QString& section, const QString& key,
                     const QString& defaultValue);

/// The section names of the INI file `fileName`, in file order; none when it cannot be read.
QStringList IniSectionNames(const QString& fileName);

/// Stores `value` under `key` in `section` of the INI file `fileName`.
///
/// Each CR and each LF in `value` becomes one space, so the value stays on one line; characters
/// that Windows-1251 cannot hold become "?". An existing key is replaced in its line, a new key
/// is added after the last key of its section, a new section is added at the end of the file,
/// and a missing file is created (its folder is not). Every other line is kept byte for byte,
/// with the file's own line endings; a new file gets CR LF.
///
/// The new contents replace the file durably (storage::replaceDurably: a crash leaves the old
/// or the new file, and a symbolic link is not written through). Writes are serialised by a
/// lock file beside it ("Telvane.ini.lock"), and each re-reads the file under the lock, so
/// that two writers (threads or programs) never undo each other's keys.
///
/// @return false, leaving the file as it was, when the names cannot be written (blank, or a
///         section with "]", or a key with "=" or starting with ";" or "["), when the lock is
///         not had within 5 seconds, when the existing file cannot be read, or when the new
///         file cannot be written or put in place. The old value then stays in effect.
[[nodiscard]] bool WriteIniValue(const QString& fileName, const QString& section,
                                 const QString& key, const QString& value);

}  // namespace telvane::config
