#include "send/SendJournal.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <algorithm>

#include "storage/DurableFile.h"

namespace telvane::send {

namespace {

constexpr char kHeader[] = "telvane-send-journal 1";

QByteArray kindName(JournalEntry::Kind kind) {
    switch (kind) {
        case JournalEntry::Kind::Confirmed:
            return "confirmed";
        case JournalEntry::Kind::Partial:
            return "partial";
        case JournalEntry::Kind::Reported:
            return "reported";
    }
    return {};
}

std::optional<JournalEntry::Kind> kindOf(const QByteArray& name) {
    if (name == "confirmed") return JournalEntry::Kind::Confirmed;
    if (name == "partial") return JournalEntry::Kind::Partial;
    if (name == "reported") return JournalEntry::Kind::Reported;
    return std::nullopt;
}

QByteArray encoded(const QString& text) { return text.toUtf8().toPercentEncoding(); }
QString decoded(const QByteArray& field) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field));
}

bool isHexPdu(const QByteArray& pdu) {
    if (pdu.isEmpty() || pdu.size() % 2 != 0) return false;
    for (const char c : pdu)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

std::optional<JournalEntry> parseLine(const QByteArray& line) {
    const QList<QByteArray> f = line.split('\t');
    if (f.size() != 8) return std::nullopt;
    const auto kind = kindOf(f[0]);
    bool sizeOk = false, timeOk = false;
    JournalEntry entry;
    entry.identity.size = f[1].toLongLong(&sizeOk);
    entry.identity.modifiedMs = f[2].toLongLong(&timeOk);
    entry.identity.sha256Hex = f[3];
    entry.identity.name = decoded(f[4]);
    entry.note = decoded(f[5]);
    if (!kind || !sizeOk || !timeOk || entry.identity.sha256Hex.size() != 64 ||
        entry.identity.name.isEmpty()) {
        return std::nullopt;
    }
    entry.kind = *kind;
    if (entry.kind != JournalEntry::Kind::Partial) return entry;

    for (const QByteArray& part : f[7].split(',')) {
        const auto colon = part.indexOf(':');
        bool lengthOk = false;
        const qulonglong length = part.left(colon).toULongLong(&lengthOk);
        const QByteArray pdu = part.mid(colon + 1);
        if (colon <= 0 || !lengthOk || length == 0 || !isHexPdu(pdu)) return std::nullopt;
        entry.parts.push_back({pdu, static_cast<std::size_t>(length)});
    }
    if (static_cast<std::size_t>(f[6].size()) != entry.parts.size()) return std::nullopt;
    for (const char c : f[6]) {
        if (c != '0' && c != '1') return std::nullopt;
        entry.confirmed.push_back(c == '1');
    }
    return entry;
}

}  // namespace

FileIdentity identityOf(const QString& name, qint64 size, qint64 modifiedMs,
                        const QByteArray& content) {
    return {name, size, modifiedMs,
            QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()};
}

SendJournal::SendJournal(QString path) : m_path(std::move(path)) {}

void SendJournal::load() {
    m_entries.clear();
    const storage::ReadResult read = storage::readOwnFile(m_path);
    if (read.ok()) m_entries = parse(read.bytes);
}

std::map<QString, JournalEntry> SendJournal::parse(const QByteArray& text) {
    std::map<QString, JournalEntry> entries;
    QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.front() != kHeader) return entries;
    lines.removeFirst();
    for (const QByteArray& line : lines) {
        if (auto entry = parseLine(line)) {
            QString name = entry->identity.name;
            entries.insert_or_assign(std::move(name), std::move(*entry));
        }
    }
    return entries;
}

QByteArray SendJournal::serialize() const {
    QByteArray out = QByteArray(kHeader) + '\n';
    for (const auto& [name, e] : m_entries) {
        QByteArray confirmed;
        QByteArrayList parts;
        for (std::size_t i = 0; i < e.parts.size(); ++i) {
            confirmed += i < e.confirmed.size() && e.confirmed[i] ? '1' : '0';
            parts << QByteArray::number(static_cast<qulonglong>(e.parts[i].tpduLength)) + ':' +
                         e.parts[i].pdu;
        }
        out += kindName(e.kind) + '\t' + QByteArray::number(e.identity.size) + '\t' +
               QByteArray::number(e.identity.modifiedMs) + '\t' + e.identity.sha256Hex + '\t' +
               encoded(name) + '\t' + encoded(e.note) + '\t' + confirmed + '\t' + parts.join(',') +
               '\n';
    }
    return out;
}

bool SendJournal::save() { return storage::replaceDurably(m_path, serialize()).ok; }

const JournalEntry* SendJournal::find(const FileIdentity& identity) const {
    const auto it = m_entries.find(identity.name);
    if (it == m_entries.end() || !(it->second.identity == identity)) return nullptr;
    return &it->second;
}

void SendJournal::put(JournalEntry entry) {
    QString name = entry.identity.name;
    m_entries.insert_or_assign(std::move(name), std::move(entry));
}

void SendJournal::erase(const QString& name) { m_entries.erase(name); }

bool SendJournal::keepOnly(const std::vector<QString>& present) {
    bool dropped = false;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (std::find(present.begin(), present.end(), it->first) == present.end()) {
            it = m_entries.erase(it);
            dropped = true;
        } else {
            ++it;
        }
    }
    return dropped;
}

}  // namespace telvane::send
