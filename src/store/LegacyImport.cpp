#include "store/LegacyImport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "store/DuplicateKeys.h"

namespace telvane::store {

namespace {

// Each reader carries one old file over; the problem for "Log.txt" when the store refused.
using Carry = std::optional<QString> (*)(const QByteArray& content, Store& store,
                                         const QDateTime& now);

QString problemOf(const StoreError& error) { return error.message; }

QList<QByteArray> linesOf(const QByteArray& content) {
    QList<QByteArray> lines;
    for (const QByteArray& line : content.split('\n'))
        if (!line.trimmed().isEmpty()) lines << line.trimmed();
    return lines;
}

QString decoded(const QByteArray& field) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field));
}

// "telvane-send-journal 1", then: kind, size, time, sha256, name, note, confirmed flags, parts
// ("length:pdu" separated by ",").
std::optional<QString> carrySendJournal(const QByteArray& content, Store& store,
                                        const QDateTime& now) {
    QList<QByteArray> lines = content.split('\n');
    if (lines.isEmpty() || lines.front().trimmed() != "telvane-send-journal 1") return {};
    lines.removeFirst();
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 8 || f[3].size() != 64) continue;  // a line torn by a crash
        OutgoingMessage m;
        m.file = {decoded(f[4]), f[1].toLongLong(), f[2].toLongLong(), f[3]};
        m.id = QFileInfo(m.file.name).completeBaseName();
        m.fileInSend = true;
        m.created = m.updated = now;
        m.note = decoded(f[5]);
        if (f[0] == "confirmed") {
            m.state = OutgoingState::Sent;
            m.sentAt = now;
        } else if (f[0] == "partial") {
            const QList<QByteArray> parts = f[7].split(',');
            if (parts.size() != f[6].size()) continue;
            for (qsizetype i = 0; i < parts.size(); ++i) {
                const qsizetype colon = parts[i].indexOf(':');
                m.parts.push_back(
                    {parts[i].mid(colon + 1), std::size_t(parts[i].left(colon).toULongLong()),
                     f[6][i] == '1' ? PartState::Confirmed : PartState::Waiting, std::nullopt});
            }
        } else {
            // Reported once as holding no message: failed, and not reported again.
            m.state = OutgoingState::Failed;
        }
        if (auto added = store.addOutgoing(m); !added) return problemOf(added.error());
    }
    return {};
}

// One 32-digit key a line.
std::optional<QString> carryReceivedJournal(const QByteArray& content, Store& store,
                                            const QDateTime& now) {
    for (const QByteArray& line : linesOf(content)) {
        if (line.size() != 32) continue;
        IncomingMessage known;
        known.key = line;
        known.kind = IncomingKind::Part;  // a key alone: kept from being stored again, not listed
        known.stored = now;
        if (auto begun = store.beginIncoming(known); !begun) return problemOf(begun.error());
    }
    return {};
}

// One JSON object a line: seq, stored, number, time, text, file, id.
std::optional<QString> carryInboxIndex(const QByteArray& content, Store& store,
                                       const QDateTime& now) {
    for (const QByteArray& line : linesOf(content)) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const qint64 seq = o.value(QStringLiteral("seq")).toInteger(0);
        if (seq < 1) continue;
        IncomingMessage m;
        m.id = seq;
        m.sender = o.value(QStringLiteral("number")).toString();
        m.timeStamp = o.value(QStringLiteral("time")).toString();
        m.text = o.value(QStringLiteral("text")).toString();
        m.file = o.value(QStringLiteral("file")).toString();
        m.number = o.value(QStringLiteral("id")).toString();
        m.stored = QDateTime::fromString(o.value(QStringLiteral("stored")).toString(), Qt::ISODate);
        if (!m.stored.isValid()) m.stored = now;
        m.key = messageKey(m.sender, m.timeStamp, m.text);
        if (auto begun = store.beginIncoming(m); !begun) return problemOf(begun.error());
    }
    return {};
}

// One JSON event a line, oldest first, each with its eventId.
std::optional<QString> carryWebhookQueue(const QByteArray& content, Store& store,
                                         const QDateTime& now) {
    for (const QByteArray& line : linesOf(content))
        if (auto added = store.addEvent(line, now); !added) return problemOf(added.error());
    return {};
}

// One sent message a line: the last part's reference, the number as it went out, when (UTC),
// its file in Sent.
std::optional<QString> carryReportsJournal(const QByteArray& content, Store& store,
                                           const QDateTime& now) {
    for (const QByteArray& line : linesOf(content)) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 4) continue;
        bool ok = false;
        const int reference = f[0].toInt(&ok);
        const QDateTime sent = QDateTime::fromString(QString::fromUtf8(f[2]), Qt::ISODate);
        if (!ok || !sent.isValid()) continue;
        OutgoingMessage m;
        m.place = QString::fromUtf8(f[3]);
        m.file.name = QFileInfo(m.place).fileName();
        m.id = QFileInfo(m.place).completeBaseName();
        m.destination = QString::fromUtf8(f[1]);
        m.state = OutgoingState::Sent;
        m.reportWanted = true;
        m.parts.push_back({{}, 0, PartState::Confirmed, reference});
        m.sentAt = m.created = m.updated = sent.toLocalTime();
        (void)now;
        if (auto added = store.addOutgoing(m); !added) return problemOf(added.error());
    }
    return {};
}

std::optional<QString> carryRefusedPin(const QByteArray& content, Store& store, const QDateTime&) {
    if (content.trimmed().isEmpty()) return {};
    if (auto kept =
            store.setFact(QStringLiteral("refused-pin"), QString::fromLatin1(content.trimmed()));
        !kept)
        return problemOf(kept.error());
    return {};
}

QByteArray readSmall(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(64 * 1024 * 1024);
}

// A file failed for good and kept in the send folder beside its status ("state=failed"): its
// message stays failed, as the status said, instead of being tried again.
std::optional<QString> carryFailedStatus(const QString& sendFolder, const QString& statusName,
                                         Store& store, const QDateTime& now) {
    const QFileInfo status(sendFolder + statusName);
    QString state, name, errorText;
    int attempts = 0;
    for (const QString& line : QString::fromUtf8(readSmall(status.filePath())).split(u'\n')) {
        const QString value = line.section(u'=', 1);
        if (line.startsWith(u"state=")) state = value;
        if (line.startsWith(u"file=")) name = value;
        if (line.startsWith(u"attempts=")) attempts = value.toInt();
        if (line.startsWith(u"error-text=")) errorText = value;
    }
    const QFileInfo file(sendFolder + name);
    if (state != u"failed" || name.isEmpty() || !file.isFile() ||
        file.lastModified() > status.lastModified())
        return {};
    const QByteArray bytes = readSmall(file.filePath());
    OutgoingMessage m;
    m.id = status.completeBaseName();
    m.file = {name, file.size(), file.lastModified().toMSecsSinceEpoch(),
              QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()};
    m.place = file.filePath();
    m.fileInSend = true;
    m.state = OutgoingState::Failed;
    m.attempts = attempts;
    m.errorText = errorText;
    m.created = m.updated = now;
    if (auto added = store.addOutgoing(m); !added) return problemOf(added.error());
    return {};
}

}  // namespace

ImportReport importLegacyFiles(const QString& homeFolder, const QString& sendFolder, Store& store,
                               const QDateTime& now) {
    ImportReport report;
    // The inbox first: its rows keep their numbers and keys, which the journal then repeats.
    const std::pair<const char*, Carry> files[] = {
        {"inbox.index", carryInboxIndex},      {"received.journal", carryReceivedJournal},
        {"SendJournal.txt", carrySendJournal}, {"reports.journal", carryReportsJournal},
        {"webhook.queue", carryWebhookQueue},  {"RefusedPin.txt", carryRefusedPin},
    };
    const bool oldHome = std::any_of(std::begin(files), std::end(files), [&](const auto& f) {
        return QFileInfo::exists(homeFolder + QLatin1String(f.first));
    });
    if (oldHome) {
        for (const QString& status :
             QDir(sendFolder).entryList({QStringLiteral("*.status")}, QDir::Files)) {
            if (const auto problem = carryFailedStatus(sendFolder, status, store, now)) {
                report.problems << status + QStringLiteral(": ") + *problem;
                return report;
            }
        }
    }
    for (const auto& [name, carry] : files) {
        const QString path = homeFolder + QLatin1String(name);
        const QFileInfo info(path);
        if (!info.isFile() || info.isSymLink()) continue;
        if (const auto problem = carry(readSmall(path), store, now)) {
            report.problems << QLatin1String(name) + QStringLiteral(": ") + *problem;
            return report;  // the rest waits for the next start, in the same order
        }
        if (!QFile::rename(path, path + QStringLiteral(".imported"))) {
            report.problems << QLatin1String(name) + QStringLiteral(": не переименован");
            return report;
        }
        report.imported << QLatin1String(name);
    }
    return report;
}

}  // namespace telvane::store
