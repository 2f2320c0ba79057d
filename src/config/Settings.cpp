#include "config/Settings.h"

#include <QDir>
#include <QSysInfo>
#include <algorithm>
#include <iterator>
#include <limits>
#include <string_view>
#include <utility>

#include "config/IniFile.h"
#include "config/NumberText.h"

namespace telvane::config {
namespace {

bool endsWithSeparator(const QString& path) {
    return path.endsWith(u'/') || path.endsWith(QDir::separator());
}

QString withTrailingSeparator(const QString& path) {
    return endsWithSeparator(path) ? path : path + QDir::separator();
}

// The value converted by `parse`; where it is rejected, the call site's default the same way.
template <typename Int, typename Parse>
Int converted(const QString& value, const Setting& s, Parse parse) {
    constexpr auto min = std::numeric_limits<Int>::min();
    constexpr auto max = std::numeric_limits<Int>::max();
    IntegerResult r = parse(value.toStdString(), min, max);
    if (!r.ok()) r = parse(s.defaultValue, min, max);
    return r.ok() ? static_cast<Int>(r.value) : Int{0};
}

template <typename Int>
Int leading(const QString& value, const Setting& s) {
    return converted<Int>(value, s, [](const std::string& text, auto min, auto max) {
        return leadingInteger(text, min, max);
    });
}

template <typename Int>
Int strict(const QString& value, const Setting& s) {
    return converted<Int>(value, s, [](const std::string& text, auto min, auto max) {
        return strictInteger(text, min, max);
    });
}

enum class ModemKey { No, Own, Inherited };

// The keys each modem has for itself; the inherited ones default to the first modem's.
ModemKey modemKeyKind(const Setting& s) {
    if (std::string_view(s.section) != "Options") return ModemKey::No;
    static constexpr std::string_view kOwn[] = {
        "ComPort", "PIN", "Send", "Receive", "Prefixes", "Only", "PerMinute", "PerDay", "Name"};
    static constexpr std::string_view kInherited[] = {"ComPortSpeed", "ComPortOptions", "Pacing",
                                                      "Log", "SendTimeout"};
    const std::string_view key(s.key);
    if (std::find(std::begin(kOwn), std::end(kOwn), key) != std::end(kOwn)) return ModemKey::Own;
    if (std::find(std::begin(kInherited), std::end(kInherited), key) != std::end(kInherited))
        return ModemKey::Inherited;
    return ModemKey::No;
}

const QString kModemWord = QStringLiteral("Modem");
const QString kModemPrefix = kModemWord + u' ';

}  // namespace

Settings Settings::forModem(const QString& section) const {
    Settings view = *this;
    view.m_modemSection = section;
    return view;
}

QString Settings::sectionOf(const Setting& s) const {
    if (m_modemSection.isEmpty() || modemKeyKind(s) == ModemKey::No)
        return QString::fromUtf8(s.section);
    return kModemPrefix + m_modemSection;
}

QString Settings::fallbackOf(const Setting& s) const {
    const QString byDefault = QString::fromUtf8(s.defaultValue);
    if (m_modemSection.isEmpty() || modemKeyKind(s) != ModemKey::Inherited) return byDefault;
    return ReadIniValue(m_iniFilePath, QString::fromUtf8(s.section), QString::fromUtf8(s.key),
                        byDefault);
}

Settings::Settings(QString iniFilePath, QString homeFolder)
    : m_iniFilePath(std::move(iniFilePath)),
      m_homeFolder(homeFolder.isEmpty() ? homeFolder : withTrailingSeparator(homeFolder)) {}

QString Settings::iniFilePath() const { return m_iniFilePath; }

QString Settings::homeFolder() const { return m_homeFolder; }

QString Settings::text(const Setting& s) const {
    return ReadIniValue(m_iniFilePath, sectionOf(s), QString::fromUtf8(s.key), fallbackOf(s));
}

std::optional<QString> Settings::stored(const Setting& s) const {
    // No stored value can hold a line break: the file keeps each value on one line.
    const QString absent = QStringLiteral("\n");
    QString value = ReadIniValue(m_iniFilePath, sectionOf(s), QString::fromUtf8(s.key), absent);
    if (value == absent && !m_modemSection.isEmpty() && modemKeyKind(s) == ModemKey::Inherited)
        value = ReadIniValue(m_iniFilePath, QString::fromUtf8(s.section), QString::fromUtf8(s.key),
                             absent);
    if (value == absent) return std::nullopt;
    return value;
}

qint32 Settings::leadingNumber32(const Setting& s) const { return leading<qint32>(text(s), s); }

qint16 Settings::leadingNumber16(const Setting& s) const { return leading<qint16>(text(s), s); }

qint16 Settings::strictInt16(const Setting& s) const { return strict<qint16>(text(s), s); }

qint32 Settings::strictInt32(const Setting& s) const { return strict<qint32>(text(s), s); }

double Settings::strictNumber(const Setting& s) const {
    if (const auto v = config::strictNumber(text(s).toStdString())) return *v;
    return config::strictNumber(s.defaultValue).value_or(0.0);
}

bool Settings::equalsOne(const Setting& s) const { return text(s) == u"1"; }

QString Settings::separator() const {
    QString value = text(setting::Split);
    value.replace(QStringLiteral("[ ]"), QStringLiteral(" "));
    value.replace(QStringLiteral("[tab]"), QStringLiteral("\t"));
    return value;
}

QString Settings::gatewayName() const {
    const QString name = text(setting::StoreHost).trimmed();
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

QString Settings::folder(const Setting& s) const {
    const QString value = text(s);
    // An empty value would otherwise name the root folder, and the outbox scan deletes the
    // files it sends from there.
    if (value.isEmpty()) return m_homeFolder + QString::fromUtf8(s.key) + QDir::separator();
    // A service has no meaningful working folder; relative folders follow the installation.
    if (QDir::isRelativePath(value)) return withTrailingSeparator(m_homeFolder + value);
    return withTrailingSeparator(value);
}

QString Settings::optionalFolder(const Setting& s) const {
    return text(s).trimmed().isEmpty() ? QString() : folder(s);
}

bool Settings::write(const Setting& s, const QString& value) const {
    return WriteIniValue(m_iniFilePath, sectionOf(s), QString::fromUtf8(s.key), value);
}

std::vector<ModemPlace> modemPlaces(const Settings& settings, QStringList* problems) {
    QStringList sections;
    for (const QString& name : IniSectionNames(settings.iniFilePath())) {
        if (!name.startsWith(kModemWord, Qt::CaseInsensitive)) continue;
        const QString rest = name.mid(kModemWord.size());
        if (!rest.isEmpty() && !rest.front().isSpace()) continue;  // "[Modems]" is another one
        const QString section = rest.trimmed();
        // The section's name is the modem's identity in the store: one that is empty or the first
        // modem's would mix two modems' messages.
        if (section.isEmpty() ||
            section.compare(QString::fromUtf16(kFirstModem), Qt::CaseInsensitive) == 0) {
            if (problems)
                *problems << QStringLiteral(
                                 "Раздел [%1] пропущен: имя модема пусто или занято первым модемом")
                                 .arg(name);
            continue;
        }
        sections << section;
    }
    std::vector<ModemPlace> places;
    places.push_back({sections.isEmpty() ? QString() : QString::fromUtf16(kFirstModem), settings});
    for (const QString& section : sections) places.push_back({section, settings.forModem(section)});
    return places;
}

QString notWrittenText(const Setting& s, const QString& value) {
    return QStringLiteral("Ошибка записи в файл настроек: ") + QString::fromUtf8(s.key) + u'=' +
           value;
}

}  // namespace telvane::config
