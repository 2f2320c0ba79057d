#include "config/IniFile.h"

#include <QFile>
#include <QLockFile>

#include "codec/Alphabets.h"
#include "config/IniText.h"
#include "storage/DurableFile.h"

namespace telvane::config {
namespace {

std::optional<std::string> readAll(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes.toStdString();
}

// Each write re-reads the file and replaces it while it holds this lock, so that the options
// dialog and the engine (Number, LongID) cannot undo each other's keys, whether they run in two
// threads or two programs.
constexpr int kLockWaitMs = 5000;

QString lockPath(const QString& fileName) { return fileName + QStringLiteral(".lock"); }

}  // namespace

QString ReadIniValue(const QString& fileName, const QString& section, const QString& key,
                     const QString& defaultValue) {
    const std::optional<std::string> contents = readAll(fileName);
    if (!contents) return defaultValue;
    const std::optional<std::string> value = ini::findValue(*contents, section, key);
    if (!value) return defaultValue;
    return QString::fromStdU32String(codec::cp1251ToUnicode(*value));
}

QStringList IniSectionNames(const QString& fileName) {
    const std::optional<std::string> contents = readAll(fileName);
    if (!contents) return {};
    const std::vector<QString> names = ini::sectionNames(*contents);
    return QStringList(names.begin(), names.end());
}

bool WriteIniValue(const QString& fileName, const QString& section, const QString& key,
                   const QString& value) {
    if (!ini::isWritableSectionName(section) || !ini::isWritableKeyName(key)) return false;

    QString oneLine = value;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    const std::string bytes = codec::unicodeToCp1251Lossy(oneLine.toStdU32String());

    QLockFile lock(lockPath(fileName));
    if (!lock.tryLock(kLockWaitMs)) return false;
    std::string old;
    if (QFile::exists(fileName)) {
        // An unreadable file must not be replaced by one holding only the new key.
        std::optional<std::string> contents = readAll(fileName);
        if (!contents) return false;
        old = std::move(*contents);
    }
    const std::string updated = ini::withValue(old, section, key, bytes);
    if (updated == old && QFile::exists(fileName)) return true;
    return storage::replaceDurably(fileName, QByteArray::fromStdString(updated)).ok;
}

}  // namespace telvane::config
