#include "send/OutboxScan.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <algorithm>

#include "OutboxRun.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"

namespace telvane::send {

namespace {

using contracts::makeStatus;
using contracts::StatusIcon;
using contracts::StatusId;

bool settled(const OutboxEntry& entry, qint64 nowMs) {
    const qint64 age = nowMs - entry.modifiedMs;
    return age >= OutboxScan::kSettleMs || age <= -OutboxScan::kSettleMs;
}

}  // namespace

OutboxScan::OutboxScan(FolderFactory folders) : m_folders(std::move(folders)) {
    if (!m_folders) {
        m_folders = [](const QString& path) { return std::make_unique<DiskOutboxFolder>(path); };
    }
}

// The folder's files, then, with several modems, those of each modem's sub-folder as
// "usb2/a.txt": they go only through that modem.
std::optional<QList<OutboxEntry>> OutboxScan::listAll(const contracts::PollContext& context,
                                                      const OutboxFolder& folder) const {
    std::optional<QList<OutboxEntry>> listed = folder.list();
    if (!listed || !context.pool) return listed;
    for (const QString& modem : context.pool->modems) {
        const auto own = m_folders(context.working.sendFolder + modem)->list();
        for (OutboxEntry entry : own.value_or(QList<OutboxEntry>())) {
            entry.name = modem + u'/' + entry.name;
            listed->append(entry);
        }
    }
    return listed;
}

void OutboxScan::ScanOutbox(contracts::PollContext& context) {
    const std::unique_ptr<OutboxFolder> folder = m_folders(context.working.sendFolder);
    const std::optional<QList<OutboxEntry>> listed = listAll(context, *folder);
    const qint64 now = context.wallClock.now().toMSecsSinceEpoch();
    QList<OutboxEntry> ready;
    for (const OutboxEntry& entry : listed.value_or(QList<OutboxEntry>()))
        if (complete(entry, now)) ready << entry;
    // What the age rule covers now, or is gone, needs no note any more.
    QSet<QString> names;
    for (const OutboxEntry& entry : listed.value_or(QList<OutboxEntry>())) names.insert(entry.name);
    m_finishedAt.removeIf([&](const auto& finished) {
        return !names.contains(finished.key()) || now - finished.value() >= kSettleMs;
    });

    context.status.SetStatus(makeStatus(StatusId::SearchingOutbox));
    context.status.SetStatusIcon(StatusIcon::Working);
    OutboxRun run(context, *folder, m_memory, m_hooks);
    {
        const auto turn = run.folderTurn();
        run.recover();
        run.recordSetAside();
        run.settleUnconfirmed();
    }
    // A folder that cannot be read says nothing about its files. Another modem may have moved
    // one on since it was listed: the folder is listed again in this modem's turn.
    const auto forgetVanished = [&] {
        const auto turn = run.folderTurn();
        const auto now = context.pool ? listAll(context, *folder) : listed;
        if (now) run.forgetVanished(*now);
    };
    std::optional<QList<store::OutgoingMessage>> queued = run.queued();
    if (ready.isEmpty() && (!queued || queued->isEmpty())) {
        forgetVanished();
        if (queued) context.status.SetStatus(makeStatus(StatusId::NothingToSend));
        context.pump.run();
        context.clock.pause(context.pacing.shortPauseMs);
        return;
    }
    context.pump.run();
    context.clock.pause(context.pacing.longPauseMs);
    context.status.SetStatusIcon(StatusIcon::Sending);
    noteIgnoredSmsc(context);
    // The folder's files in name order, each sent as it comes; then what else waits (messages
    // posted to the interface, or kept from an earlier poll).
    // A modem that may not send now still puts the folder's files in the queue for the others.
    bool going = true;
    bool sending = run.maySend();
    QSet<qint64> tried;
    for (const OutboxEntry& entry : ready) {
        std::optional<store::OutgoingMessage> message;
        {
            const auto turn = run.folderTurn();
            going = run.registerFile(entry, &message) && !context.phone.halted();
        }
        if (going && message && sending && run.takes(*message)) {
            tried.insert(message->seq);
            going = run.send(*message);
            sending = going && run.maySend();
        }
        if (!going) break;
    }
    if (going && sending && (queued = run.queued())) {
        // A modem with prefixes takes its own numbers first.
        std::stable_partition(queued->begin(), queued->end(),
                              [&](const store::OutgoingMessage& m) { return run.prefers(m); });
        for (const store::OutgoingMessage& message : *queued) {
            if (tried.contains(message.seq) || !run.takes(message)) continue;
            if (context.phone.halted() || !run.send(message) || !run.maySend()) break;
        }
    }
    forgetVanished();
}

bool OutboxScan::complete(const OutboxEntry& entry, qint64 nowMs) const {
    if (settled(entry, nowMs)) return true;
    const auto finished = m_finishedAt.constFind(entry.name);
    return finished != m_finishedAt.constEnd() && entry.modifiedMs <= finished.value();
}

void OutboxScan::watch(const QString& folder, const contracts::WallClock& clock,
                       std::function<void()> onComplete) {
    m_onComplete = std::move(onComplete);
    m_clock = &clock;
    if (!m_watch) {
        m_watch =
            std::make_unique<OutboxWatch>([this](OutboxWatch::Event event, const QString& name) {
                using Event = OutboxWatch::Event;
                // The gateway's own renames and status files are no news for any modem.
                if (event != Event::Overflow && !isOutgoingFileName(name)) return;
                // Only a finished file's touch counts: one still open may be touched too.
                if (event == Event::Touched && !m_finishedAt.contains(name)) return;
                if (event != Event::Overflow)
                    m_finishedAt.insert(name, m_clock->now().toMSecsSinceEpoch());
                if (m_onComplete) m_onComplete();
            });
    }
    if (m_watch->watched() != folder) (void)m_watch->watch(folder);
}

void OutboxScan::noteIgnoredSmsc(const contracts::PollContext& context) {
    const QString note = config::ignoredSmscNote(context.settings);
    if (note == m_smscNote) return;
    m_smscNote = note;
    if (!note.isEmpty()) (void)context.log.write({note});
}

}  // namespace telvane::send
