// The files' side of an outbox run: a complete file becomes a message in the queue, a file
// that holds none is reported once, and a message's file goes to Sent or Failed, is deleted or
// set aside as its message's life goes on.
#include <QCryptographicHash>
#include <QDebug>

#include "OutboxRun.h"
#include "codec/Alphabets.h"
#include "codec/Submit.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "config/SettingsKeys.h"
#include "contracts/EngineFigures.h"
#include "lifecycle/MessageStatus.h"

namespace telvane::send {

namespace {

namespace setting = config::setting;
using store::OutgoingMessage;
using store::OutgoingState;

UnconfirmedRule unconfirmedRule(const config::Settings& settings) {
    return settings.text(setting::Unconfirmed).trimmed().compare(u"hold", Qt::CaseInsensitive) == 0
               ? UnconfirmedRule::Hold
               : UnconfirmedRule::Resend;
}

bool anyConfirmed(const OutgoingMessage& m) {
    return std::any_of(m.parts.begin(), m.parts.end(), [](const store::OutgoingPart& p) {
        return p.state != store::PartState::Waiting;
    });
}

}  // namespace

store::FileIdentity identityOf(const QString& name, qint64 size, qint64 modifiedMs,
                               const QByteArray& content) {
    return {name, size, modifiedMs,
            QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()};
}

OutboxRun::OutboxRun(contracts::PollContext& context, OutboxFolder& folder,
                     OutboxScan::Memory& memory, lifecycle::HookRunner* hooks)
    : m_context(context),
      m_store(context.store),
      m_folder(folder),
      m_memory(memory),
      m_listeners{hooks, context.store, context.settings, context.log},
      m_retryLimit(context.settings.strictInt32(setting::RetryLimit)),
      m_unconfirmed(unconfirmedRule(context.settings)),
      m_archive(folder, context.working.sendFolder, context.working.sentFolder,
                context.working.failedFolder,
                !context.working.sentFolder.isEmpty() || !context.working.failedFolder.isEmpty() ||
                    m_retryLimit > 0),
      m_claimant(claimantOf(context)) {}

std::unique_lock<std::recursive_mutex> OutboxRun::folderTurn() const {
    if (!m_context.pool) return {};
    return std::unique_lock(m_context.pool->sendFolder);
}

void OutboxRun::recover() {
    // Before any claim is taken back, its own or another gateway's after the lease ran out
    // while the store was away: else a message the phone confirmed would count as unconfirmed.
    if (!recordConfirmed()) return;
    // Claims ran out while the store was away through no fault of their holders, who write
    // what they hold as soon as it is back: they get one lease for that before any is taken.
    if (std::exchange(m_memory.storeFailed, false)) m_memory.reclaimedAt = now();
    if (!m_memory.recovered) {
        const auto lost = m_store.recover(m_context.working.host, m_context.working.modem, now());
        if (!lost) {
            holdSending(lost.error().message);
            return;
        }
        m_memory.recovered = true;
    }
    // Another gateway on the same store may have stopped holding messages: looking once a lease
    // costs at most one more lease.
    const int every = std::clamp(claimant().leaseSeconds, 1, 60);
    if (m_memory.reclaimedAt.isValid() && m_memory.reclaimedAt.secsTo(now()) < every) return;
    if (const auto taken = m_store.reclaimExpired(now()); !taken) {
        holdSending(taken.error().message);
        return;
    }
    m_memory.reclaimedAt = now();
}

bool OutboxRun::registerFile(const OutboxEntry& entry, std::optional<OutgoingMessage>* queued) {
    queued->reset();
    if (!entry.ordinary) {
        reportFile(identityOf(entry.name, entry.size, entry.modifiedMs, {}),
                   OutgoingFileError::NotOrdinary);
        return true;
    }
    const bool tooLarge = entry.size > static_cast<qint64>(kMaxOutgoingFileBytes);
    const std::optional<QByteArray> bytes =
        tooLarge ? std::nullopt
                 : m_folder.read(entry.name, static_cast<qint64>(kMaxOutgoingFileBytes));
    // Changed (or gone) since it was listed: still being written, or taken away.
    if (m_folder.stat(entry.name) != entry) return true;
    const store::FileIdentity identity =
        identityOf(entry.name, entry.size, entry.modifiedMs, bytes.value_or(QByteArray()));
    const auto known = m_store.fileInSend(identity, m_context.working.host);
    if (!known) {
        holdSending(known.error().message);
        return false;
    }
    if (known.value()) {
        OutgoingMessage message = *known.value();
        switch (message.state) {
            case OutgoingState::Sent:
            case OutgoingState::Pending:
            case OutgoingState::Delivered:
                // Confirmed before a stop, or its file could not be moved yet.
                finishSent(message);
                break;
            case OutgoingState::Failed:
                if (!m_archive.failedFolder().isEmpty()) {
                    failForGood(message, {});  // its move to Failed is tried again
                } else if (!m_archive.keepsStatus() && !message.number.isEmpty()) {
                    // Without a life cycle set, a message the phone refused is tried at each poll.
                    message.state = OutgoingState::Queued;
                    if (save(message)) *queued = message;
                }
                break;
            case OutgoingState::Queued:
                // Carried over from an older home with its parts only: number and text again.
                if (message.number.isEmpty() && bytes) {
                    const OutgoingFileResult split = fieldsOf(entry.name, *bytes);
                    if (const auto* fields = std::get_if<OutgoingFields>(&split)) {
                        message.number = QString::fromStdU32String(fields->number);
                        message.text = QString::fromStdU32String(fields->text);
                        save(message);
                    }
                }
                *queued = message;
                break;
            default:
                break;  // on its way, or left to the Unconfirmed rule
        }
        return true;
    }
    if (!bytes) {
        reportFile(identity,
                   tooLarge ? OutgoingFileError::TooLarge : OutgoingFileError::Unreadable);
        return true;
    }
    const OutgoingFileResult split = fieldsOf(entry.name, *bytes);
    if (const auto* problem = std::get_if<OutgoingFileError>(&split)) {
        reportFile(identity, *problem);
        return true;
    }
    const auto& fields = std::get<OutgoingFields>(split);
    OutgoingMessage message;
    // A file in a modem's sub-folder ("usb2/a.txt") is that modem's alone; its id is its name's.
    message.id = newId(entry.name.section(u'/', -1));
    if (entry.name.contains(u'/')) message.pinned = entry.name.section(u'/', 0, 0);
    message.origin = store::Origin::File;
    message.file = identity;
    message.place = m_context.working.sendFolder + entry.name;
    message.fileInSend = true;
    message.host = m_context.working.host;
    message.number = QString::fromStdU32String(fields.number);
    message.text = QString::fromStdU32String(fields.text);
    message.created = now();
    const auto added = m_store.addOutgoing(message);
    if (!added) {
        holdSending(added.error().message);
        return false;
    }
    *queued = added.value();
    return true;
}

OutgoingFileResult OutboxRun::fieldsOf(const QString& name, const QByteArray& bytes) {
    const std::string_view raw(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const codec::UserText content = codec::readUserText(raw, m_context.working.encoding);
    if (content.readAs != m_context.working.encoding) log(readAsLine(name, content.readAs));
    return splitOutgoingFile(content.text, m_context.working.separator.toStdU32String());
}

// A file that holds no message is a failed message of its own: reported once, moved to Failed
// where that is set.
void OutboxRun::reportFile(const store::FileIdentity& identity, OutgoingFileError error) {
    OutgoingMessage message;
    message.id = newId(identity.name);
    message.file = identity;
    message.place = m_context.working.sendFolder + identity.name;
    message.fileInSend = true;
    message.host = m_context.working.host;
    message.state = OutgoingState::Failed;
    message.errorText = englishReason(error);
    message.created = now();
    const LogLine line = fileProblemLine(identity.name, error);
    auto added = m_store.addOutgoing(message);
    if (!added) {
        holdSending(added.error().message);
        return;
    }
    failForGood(added.value(), line);
}

QString OutboxRun::newId(const QString& name) {
    return lifecycle::messageId(name, [&](const QString& id) {
        if (m_archive.archived(id, name)) return true;
        const auto known = m_store.outgoing(id);
        return known.ok() && known->has_value();
    });
}

// The file has the size and time it was registered with; `asName`: where it stands now, when
// it was renamed aside.
bool OutboxRun::unchangedSince(const store::FileIdentity& file, const QString& asName) const {
    const std::optional<OutboxEntry> now = m_folder.stat(asName.isEmpty() ? file.name : asName);
    return now && now->size == file.size && now->modifiedMs == file.modifiedMs;
}

// Only the file that was sent may go: one rewritten under its name meanwhile is a new message.
// Its bytes while it is the same (a link is never read).
std::optional<QByteArray> OutboxRun::bytesIfSame(const store::FileIdentity& file,
                                                 const QString& asName) const {
    if (!unchangedSince(file, asName)) return std::nullopt;
    std::optional<QByteArray> bytes = m_folder.read(asName.isEmpty() ? file.name : asName,
                                                    static_cast<qint64>(kMaxOutgoingFileBytes));
    if (!bytes || identityOf(file.name, file.size, file.modifiedMs, *bytes) != file)
        return std::nullopt;
    return bytes;
}

// Confirmed and recorded: the file into the Sent folder with its status, or deleted. `from` is
// its name in the send folder when that is not the name it came by (set aside as ".sent").
void OutboxRun::finishSent(OutgoingMessage& message, const QString& from) {
    if (message.origin == store::Origin::Api) {
        announce(lifecycle::HookEvent::Sent, message, {});
        return;
    }
    const auto turn = folderTurn();
    const QString name = from.isEmpty() ? message.file.name : from;
    const auto rewritten = [&] {
        // Rewritten meanwhile: its new content is a message of its own.
        message.fileInSend = false;
        message.place.clear();
        save(message);
    };
    const std::optional<QByteArray> bytes = bytesIfSame(message.file, from);
    if (!bytes) return rewritten();
    QString where;
    if (!m_archive.sentFolder().isEmpty()) {
        where = m_archive.archive(m_archive.sentFolder(), *bytes, message, name);
        message.place = where;
    } else if (m_archive.remove(*bytes, message, name)) {
        where = m_context.working.sendFolder + name;
        message.place.clear();
    }
    if (where.isEmpty()) {
        // Dropped anew under its name as it was taken out: that file stays, for what it holds.
        if (!bytesIfSame(message.file, from)) return rewritten();
        // Sent and recorded: it stays until it can be moved, and is never sent again.
        reportOnce(message,
                   m_archive.sentFolder().isEmpty() ? notDeletedLine(name) : notArchivedLine(name));
        save(message);
        return;
    }
    message.fileInSend = false;
    if (save(message)) announce(lifecycle::HookEvent::Sent, message, where);
}

// What the phone confirmed while the store could not take it, recorded now. False while the
// store still fails.
bool OutboxRun::recordConfirmed() {
    const auto kept = m_memory.confirmedUnrecorded;  // a copy: each is taken out as it goes
    for (OutgoingMessage message : kept) {
        const bool whole = std::all_of(
            message.parts.begin(), message.parts.end(),
            [](const store::OutgoingPart& p) { return p.state == store::PartState::Confirmed; });
        // Stopped between parts: the rest goes from the parts as recorded.
        message.state = whole ? OutgoingState::Sent : OutgoingState::Queued;
        if (whole && !message.sentAt.isValid()) message.sentAt = now();
        message.leaseUntil = QDateTime();
        const auto written = m_store.update(message);
        if (!written) {
            holdSending(written.error().message);
            return false;
        }
        // Written, or refused because another gateway took it over meanwhile (what that one
        // writes stands): kept no longer either way.
        m_memory.confirmedUnrecorded.remove(message.seq);
        if (*written && whole && message.origin == store::Origin::Api) finishSent(message);
    }
    return true;
}

// Confirmed, but the store did not take it: the file is renamed aside (".sent"), so that it
// is never sent again whatever happens, and moved on once the store takes its record.
void OutboxRun::setAside(const OutgoingMessage& message) {
    m_memory.confirmedUnrecorded.insert(message.seq, message);
    const auto turn = folderTurn();
    if (message.origin == store::Origin::Api || !bytesIfSame(message.file)) return;
    const QString& name = message.file.name;
    const QString aside = name + QStringLiteral(".sent");
    // When "Log.txt" cannot take it either (a full disk takes both), the writer puts the line on
    // standard error.
    log(m_folder.rename(name, aside) ? notRecordedLine(name, aside) : notRecordedLine(name, {}));
}

// A file set aside as ".sent" went out: its message is recorded as sent now, its parts as
// confirmed, and the file moves on as any sent one does.
void OutboxRun::recordSetAside() {
    const auto known = m_store.filesInSend(m_context.working.host);
    if (!known) return;
    for (OutgoingMessage message : *known) {
        const QString aside = message.file.name + QStringLiteral(".sent");
        if (m_folder.stat(message.file.name) || !m_folder.stat(aside)) continue;
        for (store::OutgoingPart& part : message.parts) part.state = store::PartState::Confirmed;
        message.state = OutgoingState::Sent;
        if (!message.sentAt.isValid()) message.sentAt = now();
        message.updated = now();
        if (!save(message)) return;
        m_memory.confirmedUnrecorded.remove(message.seq);
        finishSent(message, aside);
    }
}

// Never to be sent as it is: into the Failed folder with its status, or kept here, said once.
void OutboxRun::failForGood(OutgoingMessage& message, const LogLine& line) {
    message.state = OutgoingState::Failed;
    message.updated = now();
    const auto failedWithoutFile = [&] {
        if (!line.isEmpty()) log(line);
        if (!save(message)) return;
        ++m_context.figures.failed;
        announce(lifecycle::HookEvent::Failed, message, {});
    };
    if (message.origin == store::Origin::Api) return failedWithoutFile();
    const auto turn = folderTurn();
    const QString& name = message.file.name;
    const std::optional<QByteArray> bytes =
        message.fileInSend ? bytesIfSame(message.file) : std::nullopt;
    if (message.fileInSend && !bytes && !unchangedSince(message.file)) {
        // Rewritten or taken away since it was listed: a file under its name is a new message.
        message.fileInSend = false;
        message.place.clear();
        return failedWithoutFile();
    }
    // Unreadable (too large, not an ordinary file): it stays where it is.
    if (!m_archive.failedFolder().isEmpty() && bytes) {
        const QString where = m_archive.archive(m_archive.failedFolder(), *bytes, message);
        if (!where.isEmpty()) {
            if (!line.isEmpty()) log(line);
            message.place = where;
            message.fileInSend = false;
            if (!save(message)) return;
            ++m_context.figures.failed;
            announce(lifecycle::HookEvent::Failed, message, where);
            return;
        }
    }
    if (!line.isEmpty()) reportOnce(message, line);
    // Without a status beside it, a file that cannot be sent stays and is tried at each poll.
    const bool kept = m_archive.keepsStatus() && m_archive.keepWaiting(message);
    if (!save(message) || !kept) return;
    ++m_context.figures.failed;
    announce(lifecycle::HookEvent::Failed, message, m_context.working.sendFolder + name);
}

// Its confirmation was lost and [SMS] Unconfirmed says hold: set aside for a person.
void OutboxRun::hold(OutgoingMessage& message) {
    const auto turn = folderTurn();
    QString where;
    if (message.origin == store::Origin::File && message.fileInSend) {
        const QString& name = message.file.name;
        const std::optional<QByteArray> bytes = bytesIfSame(message.file);
        if (!bytes) {
            message.fileInSend = false;
            message.place.clear();
        } else if (!m_archive.failedFolder().isEmpty()) {
            where = m_archive.archive(m_archive.failedFolder(), *bytes, message);
        } else if (const QString aside = name + QStringLiteral(".unconfirmed");
                   m_folder.rename(name, aside)) {
            where = m_context.working.sendFolder + aside;
            (void)m_archive.keepWaiting(message);
        }
        if (message.fileInSend && where.isEmpty()) {
            reportOnce(message, notHeldLine(message.id, name));
            save(message);
            return;  // tried again at the next poll
        }
        message.place = where;
        message.fileInSend = false;
    }
    const LogLine line = unconfirmedLine(message.id, message.file.name, false);
    log(line);
    message.note = line.join(u'\t');
    if (!save(message)) return;
    ++m_context.figures.failed;
    announce(lifecycle::HookEvent::Failed, message, where);
}

void OutboxRun::settleUnconfirmed() {
    const auto lost = m_store.inState(OutgoingState::Unconfirmed, 1000);
    if (!lost) {
        holdSending(lost.error().message);
        return;
    }
    for (OutgoingMessage message : *lost) {
        if (!message.note.isEmpty()) continue;  // held already, for a person
        // Its own gateway looks in its own send folder; here the file would seem gone.
        if (ofAnotherGateway(message)) continue;
        if (m_unconfirmed == UnconfirmedRule::Hold) {
            hold(message);
            continue;
        }
        for (store::OutgoingPart& part : message.parts)
            if (part.state == store::PartState::Submitted) part.state = store::PartState::Waiting;
        message.state = OutgoingState::Queued;
        log(unconfirmedLine(message.id, message.file.name, true));
        save(message);
    }
}

void OutboxRun::forgetVanished(const QList<OutboxEntry>& listed) {
    const auto known = m_store.filesInSend(m_context.working.host);
    if (!known) return;  // only housekeeping
    for (OutgoingMessage message : *known) {
        const bool present =
            std::any_of(listed.begin(), listed.end(), [&](const OutboxEntry& entry) {
                return entry.name == message.file.name && entry.size == message.file.size &&
                       entry.modifiedMs == message.file.modifiedMs;
            });
        // Set aside as sent and not moved on yet: its record keeps it for the next try.
        if (present || bytesIfSame(message.file, message.file.name + QStringLiteral(".sent")))
            continue;
        if (message.state == OutgoingState::Queued && !anyConfirmed(message)) {
            // Taken away before it went: no message any more.
            (void)m_store.remove(message);
            continue;
        }
        message.fileInSend = false;
        if (message.place == m_context.working.sendFolder + message.file.name)
            message.place.clear();
        (void)m_store.update(message);
    }
}

bool OutboxRun::save(OutgoingMessage& message) {
    const bool held = message.state == store::OutgoingState::Sending ||
                      message.state == store::OutgoingState::Submitted;
    message.leaseUntil = held ? now().addSecs(claimant().leaseSeconds) : QDateTime();
    const auto written = m_store.update(message);
    if (!written) {
        holdSending(written.error().message);
        return false;
    }
    // Another claim took it meanwhile: what it writes stands.
    if (!*written) return false;
    // What it says now stands over what was kept of it.
    m_memory.confirmedUnrecorded.remove(message.seq);
    m_memory.heldReported = false;  // writable again: a later failure is worth a line again
    return true;
}

void OutboxRun::announce(lifecycle::HookEvent event, const OutgoingMessage& message,
                         const QString& path) {
    const codec::SubmitOptions options = config::sendingOptions(m_context.settings);
    const QString text = QString::fromStdU32String(
        codec::prepareText(message.text.toStdU32String(), options.toLatin));
    lifecycle::announce(
        m_listeners,
        {event, message.id,
         message.destination.isEmpty() ? message.number.trimmed() : message.destination,
         lifecycle::timeText(message.updated), text, path, lifecycle::stateWord(message.state),
         message.modem},
        now());
}

void OutboxRun::reportOnce(OutgoingMessage& message, const LogLine& line) {
    const QString note = line.join(u'\t');
    if (message.note == note) return;
    log(line);
    message.note = note;
}

void OutboxRun::holdSending(const QString& why) {
    m_memory.storeFailed = true;
    m_context.status.SetStatus(contracts::makeStatus(contracts::StatusId::SendingHeld));
    if (m_memory.heldReported) return;
    m_memory.heldReported = true;
    log(sendingHeldLine(why));
}

bool OutboxRun::log(const LogLine& line) { return m_context.log.write(line).ok; }

}  // namespace telvane::send
