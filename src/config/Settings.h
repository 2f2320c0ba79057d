#pragma once
// Typed access to one Telvane.ini. Every call looks at the file (its contents are read again
// whenever its size or time changed), so an edit by hand or by the options dialog is seen at the
// next read.

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <vector>

#include "config/SettingsKeys.h"

namespace telvane::config {

/// The settings of one installation: its Telvane.ini and its home folder.
///
/// Where a conversion rejects the stored text, the call site's default (Setting::defaultValue)
/// is used instead, converted the same way.
class Settings {
public:
    /// @param iniFilePath the settings file (usually HomeFolder::iniPath(homeFolder)).
    /// @param homeFolder  the folder that default and relative folders are based on; a
    ///                    trailing separator is added when it has none.
    Settings(QString iniFilePath, QString homeFolder);

    /// The same file as one of several modems sees it: its own keys (ComPort, PIN, Send, Prefixes
    /// ...) come from the section "[Modem <section>]"; ComPortSpeed, ComPortOptions, Pacing, Log
    /// and SendTimeout, where the section has none, from [Options]. Everything else is shared.
    Settings forModem(const QString& section) const;
    /// The modem section this view reads; empty for [Options] (the first modem).
    QString modemSection() const { return m_modemSection; }

    QString iniFilePath() const;
    /// The home folder, ending in the native separator.
    QString homeFolder() const;

    /// The stored value, or the default, unchanged.
    QString text(const Setting& s) const;
    /// The stored value, or nothing when the file has no such key.
    std::optional<QString> stored(const Setting& s) const;

    /// The decimal number at the start of the value (leading blanks skipped; a fraction is
    /// rounded, halves to even), 0 when the value does not start with a number. A number that
    /// does not fit the width gives the default.
    qint32 leadingNumber32(const Setting& s) const;
    qint16 leadingNumber16(const Setting& s) const;

    /// The value as a whole must be a decimal number (a fraction is rounded, halves to even)
    /// that fits the width; otherwise the default.
    qint16 strictInt16(const Setting& s) const;
    qint32 strictInt32(const Setting& s) const;

    /// The value as a whole must be a finite number ("1", "-2.5", "1e3"); otherwise the
    /// default.
    double strictNumber(const Setting& s) const;

    /// True when the value is the text "1".
    bool equalsOne(const Setting& s) const;

    /// The separator of outgoing-message files (SMS Split): every "[ ]" replaced by a space,
    /// then every "[tab]" by a TAB, so that a value of only blanks can be stored.
    QString separator() const;

    /// This gateway's name among those that share a store ([Store] Host), else the computer's.
    QString gatewayName() const;

    /// A folder setting (setting::Send, Receive or Logs), always ending in a separator: the
    /// stored value, with the native separator appended when it ends in none; a relative
    /// value is taken relative to the home folder. A missing or empty value gives the home
    /// folder followed by the key name ("Send", "Receive", "Logs"). The folder is not created.
    QString folder(const Setting& s) const;

    /// A folder that may be left unset (setting::Sent, Failed): empty when the value is empty,
    /// else as folder().
    QString optionalFolder(const Setting& s) const;

    /// Stores `value` under the setting's key (see WriteIniValue); false when it could not.
    [[nodiscard]] bool write(const Setting& s, const QString& value) const;

private:
    /// Where `s` is read and written in this view, and what stands for it when it is missing.
    QString sectionOf(const Setting& s) const;
    QString fallbackOf(const Setting& s) const;

    QString m_iniFilePath;
    QString m_homeFolder;
    QString m_modemSection;
};

/// One modem of a gateway: its identity in the store and the settings it reads.
struct ModemPlace {
    QString id;  ///< "" for a gateway of one modem; else "main" or the section's name
    Settings settings;
};

/// The gateway's modems: the first ([Options]) and one per "[Modem <name>]" section, in file
/// order. A section that cannot be told apart from another modem is left out, and said in
/// `problems`.
std::vector<ModemPlace> modemPlaces(const Settings& settings, QStringList* problems = nullptr);

/// The identity of the first modem when there are several.
inline constexpr char16_t kFirstModem[] = u"main";

/// The "Log.txt" message for a counter that could not be stored in the settings file:
/// "Ошибка записи в файл настроек: " + key + "=" + value.
QString notWrittenText(const Setting& s, const QString& value);

}  // namespace telvane::config
