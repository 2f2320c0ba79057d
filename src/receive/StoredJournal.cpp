#include "receive/StoredJournal.h"

#include <QCryptographicHash>

namespace telvane::receive {

namespace {

constexpr qsizetype kKeyLength = 32;

bool isKey(const QByteArray& line) {
    if (line.size() != kKeyLength) return false;
    for (const char c : line) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

void addField(QCryptographicHash& hash, const QString& field) {
    const QByteArray bytes = field.toUtf8();
    hash.addData(QByteArray::number(bytes.size()) + ':');
    hash.addData(bytes);
}

}  // namespace

QByteArray journalKey(const QString& kind, const QString& sender, const QString& timeStamp,
                      const QString& text) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addField(hash, kind);
    addField(hash, sender);
    addField(hash, timeStamp);
    addField(hash, text);
    return hash.result().toHex().left(kKeyLength);
}

StoredJournal::StoredJournal(storage::FileSystem& files, QString path, size_t capacity)
    : m_files(files), m_path(std::move(path)), m_capacity(std::max<size_t>(capacity, 1)) {}

void StoredJournal::load() {
    if (m_loaded) return;
    m_loaded = true;
    const auto content = m_files.readAll(m_path);
    if (!content) return;
    // A line torn by a crash is not a key; it is dropped at the next compaction, and the next
    // key starts on a line of its own (appendDurably).
    for (const QByteArray& line : content->split('\n')) {
        if (line.isEmpty()) continue;
        ++m_linesInFile;
        if (!isKey(line) || m_keys.contains(line)) continue;
        m_order.push_back(line);
        m_keys.insert(line);
    }
    while (m_order.size() > m_capacity) {
        m_keys.remove(m_order.front());
        m_order.pop_front();
    }
}

bool StoredJournal::contains(const QByteArray& key) {
    load();
    return m_keys.contains(key);
}

storage::WriteResult StoredJournal::add(const QByteArray& key) {
    load();
    if (m_keys.contains(key)) return storage::WriteResult::done();
    const storage::WriteResult written = m_files.appendDurably(m_path, key + "\n");
    if (!written.ok) return written;
    m_linesInFile += 1;
    m_order.push_back(key);
    m_keys.insert(key);
    while (m_order.size() > m_capacity) {
        m_keys.remove(m_order.front());
        m_order.pop_front();
    }
    // A compaction that fails leaves the longer file, which reads the same.
    if (m_linesInFile >= 2 * m_capacity) (void)compact();
    return storage::WriteResult::done();
}

storage::WriteResult StoredJournal::compact() {
    QByteArray content;
    for (const QByteArray& key : m_order) content += key + '\n';
    const storage::WriteResult written = m_files.replaceDurably(m_path, content);
    if (written.ok) m_linesInFile = m_order.size();
    return written;
}

}  // namespace telvane::receive
