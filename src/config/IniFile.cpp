#include "config/IniFile.h"

#include <QFile>
#include <QHash>
#include <QLockFile>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>

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

// Every setting is read where it is used, so a gateway of many modems reads the file thousands
// of times a minute: its contents, and the values looked up in them, are kept while its size and
// time say it is unchanged. A file changed in the last two seconds is read again each time: a
// second change within one tick of a coarse file-system clock would not show in its time.
struct Snapshot {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    std::string contents;
    std::mutex valuesLock;
    QHash<QString, std::optional<QString>> values;  // by folded "section\nkey"
};
constexpr auto kSettled = std::chrono::seconds(2);

std::shared_ptr<Snapshot> snapshotOf(const QString& fileName) {
    static std::mutex lock;
    static QHash<QString, std::shared_ptr<Snapshot>> known;
    namespace fs = std::filesystem;
    const fs::path path = fileName.toStdU16String();
    std::error_code error;
    const fs::file_time_type modified = fs::last_write_time(path, error);
    const std::uintmax_t size = error ? 0 : fs::file_size(path, error);
    const bool settled = !error && fs::file_time_type::clock::now() - modified > kSettled;
    {
        const std::lock_guard guard(lock);
        const auto kept = known.constFind(fileName);
        if (settled && kept != known.constEnd() && (*kept)->size == size &&
            (*kept)->modified == modified)
            return *kept;
    }
    std::optional<std::string> contents = readAll(fileName);
    if (!contents) return nullptr;
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->size = size;
    snapshot->modified = modified;
    snapshot->contents = std::move(*contents);
    const std::lock_guard guard(lock);
    if (settled && snapshot->contents.size() == size)
        known.insert(fileName, snapshot);
    else
        known.remove(fileName);
    return snapshot;
}

}  // namespace

QString ReadIniValue(const QString& fileName, const QString& section, const QString& key,
                     const QString& defaultValue) {
    const std::shared_ptr<Snapshot> snapshot = snapshotOf(fileName);
    if (!snapshot) return defaultValue;
    const QString name = (section.trimmed() + u'\n' + key.trimmed()).toCaseFolded();
    {
        const std::lock_guard guard(snapshot->valuesLock);
        if (const auto kept = snapshot->values.constFind(name); kept != snapshot->values.constEnd())
            return kept->value_or(defaultValue);
    }
    std::optional<QString> value;
    if (const std::optional<std::string> stored = ini::findValue(snapshot->contents, section, key))
        value = QString::fromStdU32String(codec::cp1251ToUnicode(*stored));
    const std::lock_guard guard(snapshot->valuesLock);
    snapshot->values.insert(name, value);
    return value.value_or(defaultValue);
}

QStringList IniSectionNames(const QString& fileName) {
    const std::shared_ptr<Snapshot> snapshot = snapshotOf(fileName);
    if (!snapshot) return {};
    const std::vector<QString> names = ini::sectionNames(snapshot->contents);
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
