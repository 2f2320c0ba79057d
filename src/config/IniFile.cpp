#include "config/IniFile.h"

#include <QFile>
#include <QSaveFile>

#include "codec/Alphabets.h"
#include "config/IniText.h"

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace telvane::config {
namespace {

std::optional<std::string> readAll(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes.toStdString();
}

// The data must be on the disk before the rename makes it the settings file; otherwise a
// power cut right after the rename can leave an empty file in its place.
bool syncToDisk(QFileDevice& file) {
    if (!file.flush()) return false;
    const int fd = file.handle();
    // Where the file has no C descriptor (a native handle on Windows), QSaveFile::commit
    // syncs it through its file engine.
    if (fd < 0) return true;
#ifdef Q_OS_WIN
    return ::_commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

bool replaceAtomically(const QString& fileName, const std::string& contents) {
    QSaveFile file(fileName);
    // Never fall back to writing the old file in place: that is the truncation we avoid.
    file.setDirectWriteFallback(false);
    // Unbuffered, so that a full disk fails the write itself rather than a final flush that
    // some Qt versions' commit() does not check.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    const auto size = static_cast<qint64>(contents.size());
    if (file.write(contents.data(), size) != size || !syncToDisk(file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace

QString ReadIniValue(const QString& fileName, const QString& section, const QString& key,
                     const QString& defaultValue) {
    const std::optional<std::string> contents = readAll(fileName);
    if (!contents) return defaultValue;
    const std::optional<std::string> value = ini::findValue(*contents, section, key);
    if (!value) return defaultValue;
    return QString::fromStdU32String(codec::cp1251ToUnicode(*value));
}

bool WriteIniValue(const QString& fileName, const QString& section, const QString& key,
                   const QString& value) {
    if (!ini::isWritableSectionName(section) || !ini::isWritableKeyName(key)) return false;

    QString oneLine = value;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    const std::string bytes = codec::unicodeToCp1251Lossy(oneLine.toStdU32String());

    std::string old;
    if (QFile::exists(fileName)) {
        // An unreadable file must not be replaced by one holding only the new key.
        std::optional<std::string> contents = readAll(fileName);
        if (!contents) return false;
        old = std::move(*contents);
    }
    const std::string updated = ini::withValue(old, section, key, bytes);
    if (updated == old && QFile::exists(fileName)) return true;
    return replaceAtomically(fileName, updated);
}

}  // namespace telvane::config
