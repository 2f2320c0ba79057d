#include "send/OutboxScan.h"

#include <QList>
#include <optional>
#include <vector>

#include "codec/Alphabets.h"
#include "codec/Submit.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "send/OutgoingFile.h"
#include "send/SendJournal.h"
#include "send/SendReasons.h"
#include "send/Submission.h"
#include "storage/FileSystem.h"
#include "storage/LogFile.h"

namespace telvane::send {

namespace {

using contracts::makeStatus;
using contracts::StatusIcon;
using contracts::StatusId;
namespace setting = config::setting;

bool settled(const OutboxEntry& entry, qint64 nowMs) {
    const qint64 age = nowMs - entry.modifiedMs;
    return age >= OutboxScan::kSettleMs || age <= -OutboxScan::kSettleMs;
}

// One run of the scan: the folder, the journal and the poll's services.
class ScanRun {
public:
    ScanRun(contracts::PollContext& context, OutboxFolder& folder)
        : m_context(context),
          m_folder(folder),
          m_journal(OutboxScan::journalPath(context.settings)) {
        m_journal.load();
    }

    void handle(const OutboxEntry& entry);

    // Entries of files that are gone are of no use any more; this keeps the journal small.
    void forgetVanished() {
        const auto listed = m_folder.list();
        if (!listed) return;  // a folder that cannot be read says nothing about its files
        std::vector<QString> present;
        for (const OutboxEntry& e : *listed) present.push_back(e.name);
        if (m_journal.keepOnly(present) || m_dirty) m_journal.save();
    }

private:
    void send(const FileIdentity& identity, const OutgoingFields& fields);
    void deleteConfirmed(const JournalEntry& entry);
    void reportOnce(const FileIdentity& identity, const QString& message);
    void log(const QString& message) {
        // The same "Log.txt" lines as the inbox's, through the same writer.
        storage::DiskFileSystem disk;
        // A fresh home has no Logs folder yet, as the inbox knows too.
        disk.makeFolder(m_context.working.gfsLogs);
        (void)storage::appendLog(disk, m_context.working.gfsLogs, m_context.wallClock.now(),
                                 message.split(u'\t'));
    }

    contracts::PollContext& m_context;
    OutboxFolder& m_folder;
    SendJournal m_journal;
    bool m_dirty = false;
};

void ScanRun::handle(const OutboxEntry& entry) {
    const bool tooLarge = entry.size > static_cast<qint64>(kMaxOutgoingFileBytes);
    const std::optional<QByteArray> bytes =
        tooLarge ? std::nullopt
                 : m_folder.read(entry.name, static_cast<qint64>(kMaxOutgoingFileBytes));
    // Changed (or gone) since it was listed: still being written, or taken away.
    if (m_folder.stat(entry.name) != entry) return;
    const FileIdentity identity =
        identityOf(entry.name, entry.size, entry.modifiedMs, bytes.value_or(QByteArray()));

    if (const JournalEntry* known = m_journal.find(identity);
        known && known->kind == JournalEntry::Kind::Confirmed) {
        deleteConfirmed(*known);
        return;
    }
    if (!bytes) {
        reportOnce(identity, fileProblemLine(entry.name, tooLarge ? OutgoingFileError::TooLarge
                                                                  : OutgoingFileError::Unreadable));
        return;
    }
    const std::string_view raw(bytes->constData(), static_cast<std::size_t>(bytes->size()));
    const OutgoingFileResult split =
        splitOutgoingFile(codec::cp1251ToUnicode(raw), m_context.working.gfsSplit.toStdU32String());
    if (const auto* problem = std::get_if<OutgoingFileError>(&split)) {
        reportOnce(identity, fileProblemLine(entry.name, *problem));
        return;
    }
    send(identity, std::get<OutgoingFields>(split));
}

void ScanRun::send(const FileIdentity& identity, const OutgoingFields& fields) {
    const config::Settings& settings = m_context.settings;
    m_context.status.SetStatus(makeStatus(StatusId::Sending));

    const codec::SubmitOptions options = config::sendingOptions(settings);
    const QString number = QString::fromStdU32String(fields.number);
    const QString text =
        QString::fromStdU32String(codec::prepareText(fields.text, options.toLatin));

    std::vector<PendingPart> parts;
    std::vector<bool> confirmed;
    if (const JournalEntry* resumed = m_journal.find(identity);
        resumed && resumed->kind == JournalEntry::Kind::Partial) {
        // The parts exactly as they went before: same reference, same split, same settings.
        parts = resumed->parts;
        confirmed = resumed->confirmed;
    } else {
        const codec::SubmitResult encoded =
            codec::encodeSubmit(codec::unicodeToUtf8(fields.number), fields.text, options);
        if (const auto* refused = std::get_if<codec::SubmitError>(&encoded)) {
            reportOnce(identity, refusedLine(number, text, *refused));
            return;
        }
        const auto& message = std::get<codec::SubmitMessage>(encoded);
        if (message.longId != options.lastLongId)
            settings.write(setting::LongID, QString::number(message.longId));
        for (const codec::SubmitPart& part : message.parts)
            parts.push_back({QByteArray::fromStdString(part.pdu), part.tpduLength});
    }

    const auto keepProgress = [&] {
        if (parts.size() < 2) return;
        m_journal.put({JournalEntry::Kind::Partial, identity, {}, parts, confirmed});
        m_journal.save();
    };
    const SubmissionPorts ports{m_context.phone, m_context.status, m_context.clock,
                                m_context.pacing};
    const SubmissionResult result = submitParts(ports, parts, confirmed, keepProgress);
    m_context.phone.PurgeBuffer();

    if (!result.allConfirmed) {
        log(notSentLine(number, text));
        return;
    }
    JournalEntry done{JournalEntry::Kind::Confirmed, identity, {}, {}, {}};
    m_journal.put(done);
    m_journal.save();
    deleteConfirmed(done);
}

void ScanRun::deleteConfirmed(const JournalEntry& entry) {
    if (m_folder.remove(entry.identity.name)) {
        // Not saved at once: a deleted file cannot be sent again, so the entry only has to go
        // with the next write, and each write stays as small as the undeletable files.
        m_journal.erase(entry.identity.name);
        m_dirty = true;
        return;
    }
    if (!entry.note.isEmpty()) return;  // said once already
    log(notDeletedLine(entry.identity.name));
    JournalEntry reported = entry;
    reported.note = QStringLiteral("reported");
    m_journal.put(std::move(reported));
    m_journal.save();
}

void ScanRun::reportOnce(const FileIdentity& identity, const QString& message) {
    if (const JournalEntry* known = m_journal.find(identity);
        known && known->kind == JournalEntry::Kind::Reported && known->note == message) {
        return;
    }
    log(message);
    m_journal.put({JournalEntry::Kind::Reported, identity, message, {}, {}});
    m_journal.save();
}

}  // namespace

OutboxScan::OutboxScan(FolderFactory folders) : m_folders(std::move(folders)) {
    if (!m_folders) {
        m_folders = [](const QString& path) { return std::make_unique<DiskOutboxFolder>(path); };
    }
}

QString OutboxScan::journalPath(const config::Settings& settings) {
    return settings.homeFolder() + QStringLiteral("SendJournal.txt");
}

void OutboxScan::ScanOutbox(contracts::PollContext& context) {
    const std::unique_ptr<OutboxFolder> folder = m_folders(context.working.gfsSend);
    const QList<OutboxEntry> listed = folder->list().value_or(QList<OutboxEntry>());
    const qint64 now = context.wallClock.now().toMSecsSinceEpoch();
    QList<OutboxEntry> ready;
    for (const OutboxEntry& entry : listed)
        if (settled(entry, now)) ready << entry;

    context.status.SetStatus(makeStatus(StatusId::SearchingOutbox));
    context.status.SetStatusIcon(StatusIcon::Working);
    ScanRun run(context, *folder);
    if (ready.isEmpty()) {
        run.forgetVanished();
        context.status.SetStatus(makeStatus(StatusId::NothingToSend));
        context.pump.run();
        context.clock.pause(context.pacing.shortPauseMs);
        return;
    }
    context.pump.run();
    context.clock.pause(context.pacing.longPauseMs);
    context.status.SetStatusIcon(StatusIcon::Sending);
    noteIgnoredSmsc(context);
    for (const OutboxEntry& entry : ready) run.handle(entry);
    run.forgetVanished();
}

void OutboxScan::noteIgnoredSmsc(const contracts::PollContext& context) {
    const QString note = config::ignoredSmscNote(context.settings);
    if (note == m_smscNote) return;
    m_smscNote = note;
    if (note.isEmpty()) return;
    storage::DiskFileSystem disk;
    disk.makeFolder(context.working.gfsLogs);
    (void)storage::appendLog(disk, context.working.gfsLogs, context.wallClock.now(), note);
}

}  // namespace telvane::send
