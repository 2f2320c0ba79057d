#include "send/OutboxScan.h"

#include <QDateTime>
#include <QDebug>
#include <QList>
#include <QSet>
#include <optional>
#include <vector>

#include "codec/Alphabets.h"
#include "codec/Submit.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "contracts/EngineFigures.h"
#include "lifecycle/AwaitedReports.h"
#include "lifecycle/Hooks.h"
#include "send/OutboxArchive.h"
#include "send/OutgoingFile.h"
#include "send/SendReasons.h"
#include "send/Submission.h"
#include "storage/FileSystem.h"
#include "storage/LogFile.h"

namespace telvane::send {

namespace {

using contracts::makeStatus;
using contracts::StatusIcon;
using contracts::StatusId;
using lifecycle::MessageState;
using lifecycle::MessageStatus;
namespace setting = config::setting;

// The same "Log.txt" lines as the inbox's, through the same writer. A fresh home has no Logs
// folder yet, as the inbox knows too.
void writeLog(const contracts::PollContext& context, const LogLine& line) {
    storage::DiskFileSystem disk;
    disk.makeFolder(context.working.gfsLogs);
    const storage::WriteResult written = storage::appendLog(
        disk, context.working.gfsLogs, context.wallClock.now(), line, context.working.encoding);
    if (!written.ok) qWarning().noquote() << "Log line lost:" << written.error << line.join(u' ');
}

// SendTimeout seconds, at least one; the default when the value is not a number.
int confirmationTimeout(const config::Settings& settings) {
    const qint32 seconds = settings.strictInt32(setting::SendTimeout);
    return seconds >= 1 ? seconds : kConfirmationTimeoutS;
}

bool settled(const OutboxEntry& entry, qint64 nowMs) {
    const qint64 age = nowMs - entry.modifiedMs;
    return age >= OutboxScan::kSettleMs || age <= -OutboxScan::kSettleMs;
}

// One file as the scan handles it: what it is, and what is known of it so far.
struct Picked {
    FileIdentity identity;
    QByteArray bytes;
    QString id;
    MessageStatus status;  // as it stood beside the file, or a fresh one
    QString text;          // as it went out
};

// One run of the scan: the folder, the poll's services and what the outbox keeps between runs.
class ScanRun {
public:
    ScanRun(contracts::PollContext& context, OutboxFolder& folder, OutboxScan::Memory& memory,
            lifecycle::HookRunner* hooks)
        : m_context(context),
          m_folder(folder),
          m_memory(memory),
          m_journal(*memory.journal),
          m_hooks(hooks),
          m_retryLimit(context.settings.strictInt32(setting::RetryLimit)),
          m_archive(folder, context.working.gfsSend, context.working.gfsSent,
                    context.working.gfsFailed,
                    !context.working.gfsSent.isEmpty() || !context.working.gfsFailed.isEmpty() ||
                        m_retryLimit > 0) {}

    /// False when sending is held: the rest of the files wait for the next poll.
    bool handle(const OutboxEntry& entry);

    // Entries of files that are gone are of no use any more; this keeps the journal small.
    void forgetVanished() {
        const auto listed = m_folder.list();
        if (!listed) return;  // a folder that cannot be read says nothing about its files
        std::vector<QString> present;
        for (const OutboxEntry& e : *listed) present.push_back(e.name);
        // Only housekeeping: the journal in memory stays right if the file is not written.
        if (m_journal.keepOnly(present) || m_dirty) (void)saveJournal();
    }

private:
    bool send(Picked& file, const OutgoingFields& fields);
    void advanceLongId(int used);
    bool isSameFile(const FileIdentity& sent) const;
    void finishSent(const JournalEntry& entry, Picked& file);
    void failForGood(Picked& file, const LogLine& line);
    void awaitReport(const Picked& file, const QString& archived);
    void hook(lifecycle::HookEvent event, const Picked& file, const QString& path);
    MessageStatus now(Picked& file, MessageState state) const {
        file.status.state = state;
        file.status.time = m_context.wallClock.now();
        file.status.file = file.identity.name;
        return file.status;
    }
    void setAside(const JournalEntry& entry);
    void reportOnce(const FileIdentity& identity, const LogLine& line);
    bool saveJournal();
    void hold();
    void log(const LogLine& line) { writeLog(m_context, line); }

    contracts::PollContext& m_context;
    OutboxFolder& m_folder;
    OutboxScan::Memory& m_memory;
    SendJournal& m_journal;
    lifecycle::HookRunner* m_hooks;
    qint32 m_retryLimit;
    OutboxArchive m_archive;
    bool m_dirty = false;
};

bool ScanRun::handle(const OutboxEntry& entry) {
    if (!entry.ordinary) {
        reportOnce(identityOf(entry.name, entry.size, entry.modifiedMs, {}),
                   fileProblemLine(entry.name, OutgoingFileError::NotOrdinary));
        return true;
    }
    const bool tooLarge = entry.size > static_cast<qint64>(kMaxOutgoingFileBytes);
    const std::optional<QByteArray> bytes =
        tooLarge ? std::nullopt
                 : m_folder.read(entry.name, static_cast<qint64>(kMaxOutgoingFileBytes));
    // Changed (or gone) since it was listed: still being written, or taken away.
    if (m_folder.stat(entry.name) != entry) return true;
    Picked file{identityOf(entry.name, entry.size, entry.modifiedMs, bytes.value_or(QByteArray())),
                bytes.value_or(QByteArray()),
                m_archive.idOf(entry.name),
                {},
                {}};
    const std::optional<MessageStatus> before = m_archive.waiting(entry, file.id);
    if (before) file.status = *before;

    if (const JournalEntry* known = m_journal.find(file.identity);
        known && known->kind == JournalEntry::Kind::Confirmed) {
        finishSent(*known, file);
        return true;
    }
    // Failed for good and kept here for a person to look at: not tried again.
    if (before && before->state == MessageState::Failed) return true;
    if (!bytes) {
        reportOnce(file.identity,
                   fileProblemLine(entry.name, tooLarge ? OutgoingFileError::TooLarge
                                                        : OutgoingFileError::Unreadable));
        return true;
    }
    const std::string_view raw(bytes->constData(), static_cast<std::size_t>(bytes->size()));
    const codec::UserText content = codec::readUserText(raw, m_context.working.encoding);
    if (content.readAs != m_context.working.encoding) log(readAsLine(entry.name, content.readAs));
    const OutgoingFileResult split =
        splitOutgoingFile(content.text, m_context.working.gfsSplit.toStdU32String());
    if (const auto* problem = std::get_if<OutgoingFileError>(&split)) {
        file.status.errorText = englishReason(*problem);
        failForGood(file, fileProblemLine(entry.name, *problem));
        return true;
    }
    return send(file, std::get<OutgoingFields>(split));
}

bool ScanRun::send(Picked& file, const OutgoingFields& fields) {
    // For readers on other threads (the HTTP interface): this message is on its way.
    struct Sending {
        explicit Sending(const QString& id) {
            contracts::engineFigures().setSending(id.toStdString());
        }
        ~Sending() { contracts::engineFigures().setSending({}); }
    } sending(file.id);
    // A message whose sending cannot be journalled would go out again at every poll.
    if (!saveJournal()) {
        hold();
        return false;
    }
    const FileIdentity& identity = file.identity;
    const config::Settings& settings = m_context.settings;
    m_context.status.SetStatus(makeStatus(StatusId::Sending));

    codec::SubmitOptions options = config::sendingOptions(settings);
    const QString number = QString::fromStdU32String(fields.number);
    const QString text =
        QString::fromStdU32String(codec::prepareText(fields.text, options.toLatin));
    const auto destination = codec::destinationOf(codec::unicodeToUtf8(fields.number));
    file.text = text;
    file.status.number = number.trimmed();
    if (const auto* d = std::get_if<codec::Destination>(&destination))
        file.status.number = QString::fromStdString(d->text());

    std::vector<PendingPart> parts;
    std::vector<bool> confirmed;
    if (const JournalEntry* resumed = m_journal.find(identity);
        resumed && resumed->kind == JournalEntry::Kind::Partial) {
        // The parts exactly as they went before: same reference, same split, same settings.
        parts = resumed->parts;
        confirmed = resumed->confirmed;
    } else {
        if (m_memory.lastLongId == 0) m_memory.lastLongId = options.lastLongId;
        options.lastLongId = m_memory.lastLongId;
        const codec::SubmitResult encoded =
            codec::encodeSubmit(codec::unicodeToUtf8(fields.number), fields.text, options);
        if (const auto* refused = std::get_if<codec::SubmitError>(&encoded)) {
            file.status.errorText = QString::fromStdString(codec::describe(*refused));
            failForGood(file, refusedLine(number, text, *refused));
            return true;
        }
        const auto& message = std::get<codec::SubmitMessage>(encoded);
        if (message.longId != options.lastLongId) advanceLongId(message.longId);
        for (const codec::SubmitPart& part : message.parts)
            parts.push_back({QByteArray::fromStdString(part.pdu), part.tpduLength});
    }

    bool progressKept = true;
    const auto keepProgress = [&] {
        if (parts.size() < 2) return;
        m_journal.put({JournalEntry::Kind::Partial, identity, {}, parts, confirmed});
        progressKept = saveJournal() && progressKept;
    };
    const quint64 connection = m_context.phone.connection();
    const SubmissionPorts ports{m_context.phone,
                                m_context.status,
                                m_context.clock,
                                m_context.pacing,
                                confirmationTimeout(settings),
                                m_memory.keepLinkRefusedOn == connection};
    const SubmissionResult result = submitParts(ports, parts, confirmed, keepProgress);
    if (result.keepLinkRefused) m_memory.keepLinkRefusedOn = connection;
    m_context.phone.PurgeBuffer();

    MessageStatus& status = file.status;
    status.parts = static_cast<int>(parts.size());
    status.references.resize(status.parts);
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (result.references[i]) status.references[i] = result.references[i];
    if (!result.allConfirmed && result.halted) {
        // A port that vanished or an exit says nothing about the message: it goes at the next
        // poll, without a line and without counting as an attempt.
        if (!progressKept) hold();
        return false;
    }
    ++status.attempts;
    if (!result.allConfirmed) {
        log(notSentLine(number, text) << result.reason);
        const SubmissionFailure failure = result.lastFailure.value_or(SubmissionFailure{});
        status.errorNumber = failure.cmsError;
        status.errorText = failure.what;
        const bool exhausted = m_retryLimit > 0 && status.attempts >= m_retryLimit;
        if (failure.permanent || exhausted) {
            failForGood(file, {});
        } else {
            (void)m_archive.keepWaiting(file.id, now(file, MessageState::Waiting));
        }
        // The parts sent so far are kept in memory; no further message goes out unjournalled.
        if (!progressKept) hold();
        return progressKept;
    }
    status.errorNumber.reset();
    status.errorText.clear();
    // The number rules are the gateway's: say when a number went out otherwise than written.
    if (const auto* d = std::get_if<codec::Destination>(&destination)) {
        const bool asWritten = d->digits == number.trimmed().remove(u'+').toStdString();
        if (!asWritten || d->typeOfAddress != codec::kInternationalNumber)
            log(numberSentLine(number.trimmed(), *d));
    }
    const JournalEntry done{JournalEntry::Kind::Confirmed, identity, {}, {}, {}};
    m_journal.put(done);
    if (saveJournal()) {
        finishSent(done, file);
        return true;
    }
    setAside(done);
    hold();
    return false;
}

void ScanRun::advanceLongId(int used) {
    m_memory.lastLongId = used;
    const QString value = QString::number(used);
    if (!m_context.settings.write(setting::LongID, value) && !m_memory.longIdReported) {
        // The reference in memory goes on; only a restart would read the old one again.
        m_memory.longIdReported = true;
        log({config::notWrittenText(setting::LongID, value)});
    }
}

// Only the file that was sent may go: one rewritten under its name meanwhile is a new message.
bool ScanRun::isSameFile(const FileIdentity& sent) const {
    const std::optional<OutboxEntry> now = m_folder.stat(sent.name);
    if (!now || !now->ordinary || now->size != sent.size || now->modifiedMs != sent.modifiedMs)
        return false;
    const std::optional<QByteArray> bytes =
        m_folder.read(sent.name, static_cast<qint64>(kMaxOutgoingFileBytes));
    return bytes && identityOf(sent.name, now->size, now->modifiedMs, *bytes) == sent;
}

// Confirmed and journalled: into the Sent folder with its status, or deleted.
void ScanRun::finishSent(const JournalEntry& entry, Picked& file) {
    if (!isSameFile(entry.identity)) return;
    const QString& name = entry.identity.name;
    const MessageStatus status = now(file, MessageState::Sent);
    QString where;
    if (!m_archive.sentFolder().isEmpty()) {
        where = m_archive.archive(m_archive.sentFolder(), name, file.id, file.bytes, status);
    } else if (m_folder.remove(name)) {
        m_archive.dropWaiting(file.id);
        where = m_context.working.gfsSend + name;
    }
    if (!where.isEmpty()) {
        // Not saved at once: a file gone from here cannot be sent again, so the entry only has
        // to go with the next write, and each write stays as small as the undeletable files.
        m_journal.erase(name);
        m_dirty = true;
        awaitReport(file, where);
        hook(lifecycle::HookEvent::Sent, file, where);
        return;
    }
    if (!entry.note.isEmpty()) return;  // said once already
    log(notDeletedLine(name));
    JournalEntry reported = entry;
    reported.note = QStringLiteral("reported");
    m_journal.put(std::move(reported));
    (void)saveJournal();  // unsaved, the line may come once more after a restart
}

// Never to be sent as it is: into the Failed folder with its status, or kept here, said once.
void ScanRun::failForGood(Picked& file, const LogLine& line) {
    const MessageStatus status = now(file, MessageState::Failed);
    if (!m_archive.failedFolder().isEmpty()) {
        const QString where = m_archive.archive(m_archive.failedFolder(), file.identity.name,
                                                file.id, file.bytes, status);
        if (!where.isEmpty()) {
            if (!line.isEmpty()) log(line);
            m_journal.erase(file.identity.name);
            m_dirty = true;
            ++contracts::engineFigures().failed;
            hook(lifecycle::HookEvent::Failed, file, where);
            return;
        }
    }
    if (!line.isEmpty()) reportOnce(file.identity, line);
    // Without a status beside it, a file that cannot be sent stays and is tried at each poll.
    if (!m_archive.keepsStatus() || !m_archive.keepWaiting(file.id, status)) return;
    ++contracts::engineFigures().failed;
    hook(lifecycle::HookEvent::Failed, file, m_context.working.gfsSend + file.identity.name);
}

void ScanRun::awaitReport(const Picked& file, const QString& archived) {
    // Only a status file in Sent can be updated; only the last part asks for the report.
    if (m_archive.sentFolder().isEmpty() || !config::sendingOptions(m_context.settings).report ||
        file.status.references.isEmpty() || !file.status.references.back())
        return;
    storage::DiskFileSystem disk;
    (void)lifecycle::awaitReport(
        disk, lifecycle::awaitedReportsPath(m_context.settings.homeFolder()),
        {*file.status.references.back(), file.status.number, file.status.time, archived});
}

void ScanRun::hook(lifecycle::HookEvent event, const Picked& file, const QString& path) {
    if (!m_hooks) return;
    const MessageStatus& s = file.status;
    m_hooks->queue(m_context.settings,
                   {event, file.id, s.number, lifecycle::timeText(s.time), file.text, path,
                    lifecycle::stateName(s.state)},
                   m_context.working.gfsLogs, m_context.working.encoding);
}

// Confirmed, but not journalled: once the program stops, only the file's name can keep it from
// going again. While it runs, the journal in memory does.
void ScanRun::setAside(const JournalEntry& entry) {
    const QString& name = entry.identity.name;
    if (!isSameFile(entry.identity)) return;
    if (m_folder.remove(name)) {
        m_journal.erase(name);
        return;
    }
    const QString aside = name + QStringLiteral(".sent");
    if (m_folder.rename(name, aside)) {
        m_journal.erase(name);
        log(notDeletedLine(name, aside));
        return;
    }
    log(notDeletedLine(name));
    JournalEntry reported = entry;
    reported.note = QStringLiteral("reported");
    m_journal.put(std::move(reported));
}

void ScanRun::reportOnce(const FileIdentity& identity, const LogLine& line) {
    const QString note = line.join(u'\t');
    if (const JournalEntry* known = m_journal.find(identity);
        known && known->kind == JournalEntry::Kind::Reported && known->note == note) {
        return;
    }
    log(line);
    m_journal.put({JournalEntry::Kind::Reported, identity, note, {}, {}});
    (void)saveJournal();  // unsaved, the line may come once more after a restart
}

bool ScanRun::saveJournal() {
    if (!m_journal.save()) return false;
    m_memory.heldReported = false;  // writable again: a later failure is worth a line again
    return true;
}

void ScanRun::hold() {
    m_context.status.SetStatus(makeStatus(StatusId::SendingHeld));
    if (m_memory.heldReported) return;
    m_memory.heldReported = true;
    log(sendingHeldLine(m_journal.path()));
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
        if (complete(entry, now)) ready << entry;
    // What the age rule covers now, or is gone, needs no note any more.
    QSet<QString> names;
    for (const OutboxEntry& entry : listed) names.insert(entry.name);
    m_finishedAt.removeIf([&](const auto& finished) {
        return !names.contains(finished.key()) || now - finished.value() >= kSettleMs;
    });

    context.status.SetStatus(makeStatus(StatusId::SearchingOutbox));
    context.status.SetStatusIcon(StatusIcon::Working);
    // Read once and kept: a journal that cannot be saved still knows what was sent.
    const QString path = journalPath(context.settings);
    if (!m_memory.journal || m_memory.journal->path() != path) {
        m_memory.journal.emplace(path);
        m_memory.journal->load();
    }
    ScanRun run(context, *folder, m_memory, m_hooks);
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
    for (const OutboxEntry& entry : ready)
        if (context.phone.halted() || !run.handle(entry)) break;
    run.forgetVanished();
}

bool OutboxScan::complete(const OutboxEntry& entry, qint64 nowMs) const {
    if (settled(entry, nowMs)) return true;
    const auto finished = m_finishedAt.constFind(entry.name);
    return finished != m_finishedAt.constEnd() && entry.modifiedMs <= finished.value();
}

void OutboxScan::watch(const QString& folder, std::function<void()> onComplete) {
    m_onComplete = std::move(onComplete);
    if (!m_watch) {
        m_watch =
            std::make_unique<OutboxWatch>([this](OutboxWatch::Event event, const QString& name) {
                using Event = OutboxWatch::Event;
                // Only a finished file's touch counts: one still open may be touched too.
                if (event == Event::Touched && !m_finishedAt.contains(name)) return;
                if (event != Event::Overflow)
                    m_finishedAt.insert(name, QDateTime::currentMSecsSinceEpoch());
                if (m_onComplete) m_onComplete();
            });
    }
    if (m_watch->watched() != folder) (void)m_watch->watch(folder);
}

void OutboxScan::noteIgnoredSmsc(const contracts::PollContext& context) {
    const QString note = config::ignoredSmscNote(context.settings);
    if (note == m_smscNote) return;
    m_smscNote = note;
    if (!note.isEmpty()) writeLog(context, {note});
}

}  // namespace telvane::send
