#pragma once
// Reading and writing single settings of an INI file in Windows-1251, with the semantics of the
// Windows private-profile functions that the settings file has always been edited with.

#include <QString>

namespace telvane::config {

/// The value of `key` in `section` of the INI file `fileName`.
///
/// Section and key names match without regard to letter case. The stored value comes back
/// without the blanks around it and without one pair of matching quotes around it, cut to 254
/// characters. `defaultValue` comes back unchanged when the file, the section or the key is
/// missing, or when the file cannot be read. Never fails.
QString ReadIniValue(const QString& fileName, const QString& section, const QString& key,
                     const QString& defaultValue);

/// Stores `value` under `key` in `section` of the INI file `fileName`.
///
/// Each CR and each LF in `value` becomes one space, so the value stays on one line; characters
/// that Windows-1251 cannot hold become "?". An existing key is replaced in its line, a new key
/// is added after the last key of its section, a new section is added at the end of the file,
/// and a missing file is created (its folder is not). Every other line is kept byte for byte,
/// with the file's own line endings; a new file gets CR LF.
///
/// The new contents go to a temporary file beside the old one, are flushed to the disk and
/// then take the old file's place in one rename, so that a crash leaves either the old or the
/// new file, never a truncated one.
///
/// @return false, leaving the file as it was, when the names cannot be written (blank, or a
///         section with "]", or a key with "=" or starting with ";" or "["), when the existing
///         file cannot be read, or when the new file cannot be written or put in place.
///         Callers may ignore it: the old value then stays in effect.
bool WriteIniValue(const QString& fileName, const QString& section, const QString& key,
                   const QString& value);

}  // namespace telvane::config
