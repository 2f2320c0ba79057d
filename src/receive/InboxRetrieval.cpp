#include "receive/InboxRetrieval.h"

#include <QDebug>
#include <QFileInfo>
#include <QSet>

#include "codec/MessageRecord.h"
#include "codec/PduDecoder.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "contracts/EngineFigures.h"
#include "lifecycle/Announce.h"
#include "lifecycle/MessageStatus.h"
#include "lifecycle/Reports.h"
#include "receive/DayFile.h"
#include "receive/ListAnswer.h"
#include "receive/PartFiles.h"
#include "receive/RetrievalCommands.h"
#include "storage/LogFile.h"
#include "store/DuplicateKeys.h"

namespace telvane::receive {

using contracts::makeStatus;
using contracts::PollContext;
using contracts::StatusIcon;
using contracts::StatusId;

using store::messageKey;
using store::partKey;
using store::reportKey;

namespace {

constexpr qint32 kMaxSmsNumber = 10000;

QString fromU32(const std::u32string& text) { return QString::fromStdU32String(text); }

// A service-centre time stamp as a moment; the two-digit year is this century's. A zone that
// could not be read is taken as the gateway's own.
std::optional<QDateTime> utcOf(const std::optional<codec::TimeStamp>& t) {
    if (!t) return std::nullopt;
    const QDate date(2000 + t->year, t->month, t->day);
    const QTime time(t->hour, t->minute, t->second);
    const QDateTime at =
        t->tzQuarterHours ? QDateTime(date, time, Qt::OffsetFromUTC, *t->tzQuarterHours * 15 * 60)
                          : QDateTime(date, time);
    if (!at.isValid()) return std::nullopt;
    return at.toUTC();
}

QString writeFailedText(const QString& fileName) {
    return QStringLiteral("Ошибка записи сообщения в файл: ") + fileName;
}

QString storeFailedText(const store::StoreError& error) {
    return QStringLiteral("Ошибка записи сообщения в хранилище: ") + error.message;
}

QString referenceText(const codec::Concat& concat) {
    const int digits = concat.refBits == 16 ? 4 : 2;
    return QStringLiteral("%1").arg(concat.ref, digits, 16, QLatin1Char('0')).toUpper();
}

QByteArray keyOf(const MessagePart& part) {
    return partKey(part.number, part.timeStamp, part.reference, part.total, part.sequence,
                   part.text);
}

// How recording a received message ended.
enum class Kept {
    Now,      ///< in the store and its day's file now
    Before,   ///< recorded before: stored earlier, or the network delivered it twice
    NotKept,  ///< the store or the day's file failed: it stays in the phone
};

}  // namespace

// What one run needs at hand: the context, the day's file, the store and the counters.
// The modems of one gateway write one day's file and count one running number: a message is
// written in its modem's turn, with the number where the last modem left it. Nothing is held
// for a gateway of one modem.
class ReceivingTurn {
public:
    explicit ReceivingTurn(contracts::PollContext& context) : m_context(context) {
        if (!context.pool) return;
        m_lock = std::unique_lock(context.pool->receiving);
        if (context.pool->nextNumber) context.working.nextNumber = *context.pool->nextNumber;
    }
    ~ReceivingTurn() {
        if (m_context.pool) m_context.pool->nextNumber = m_context.working.nextNumber;
    }
    ReceivingTurn(const ReceivingTurn&) = delete;
    ReceivingTurn& operator=(const ReceivingTurn&) = delete;

private:
    contracts::PollContext& m_context;
    std::unique_lock<std::mutex> m_lock;
};

class InboxRetrieval::Run {
public:
    Run(InboxRetrieval& owner, PollContext& context)
        : m_owner(owner),
          m_context(context),
          m_files(owner.m_files),
          m_store(context.store),
          m_now(context.wallClock.now()),
          m_dayFile(
              m_files, context.working.receiveFolder,
              DayFileName(m_now.date(), context.working.dayFile),
              {context.working.dayFile, context.working.autoScroll, context.working.encoding}),
          m_texts(config::reportTexts(context.settings)),
          m_listeners{owner.m_hooks, context.store, context.settings, context.log} {}

    void retrieve() {
        reconcile();
        storeDeliveries();
        for (const QByteArray& memory : m_owner.memoriesToRead(m_context.phone)) {
            const bool sim = memory == "SM";
            m_context.status.SetStatus(makeStatus(StatusId::LoadingMessages));
            m_context.status.SetStatusIcon(StatusIcon::Working);
            if (m_context.phone.halted()) return;
            if (!select(memory)) {
                // Without the SIM the run ends here; parts taken so far are on the disk already.
                if (sim || m_context.phone.halted()) return;
                continue;
            }
            // A deletion reaches the listed index only while the line has kept in step since
            // this selection: after a time-out, an answer may belong to another command.
            m_selectedAt = m_context.phone.syncEpoch();
            // A full memory lists for half a minute and more at 9600 baud: the time limit
            // counts from the last byte that came.
            const contracts::ExchangeResult listed = m_context.phone.exchange(commands::list());
            storeDeliveries();
            if (!listed.answered()) {
                if (m_context.phone.halted()) return;
                continue;
            }
            const QByteArray answer = m_context.phone.lastReply();
            const ListAnswer list =
                parseListAnswer(std::string_view(answer.constData(), size_t(answer.size())));
            const char* name = memory.constData();
            for (const ListProblem& problem : list.problems) logListProblem(name, problem);
            for (const ListEntry& entry : list.entries) {
                if (m_context.phone.halted()) return;
                handleEntry(name, entry.index, entry.pdu);
            }
            storeDeliveries();
        }
        m_context.status.SetStatus(
            makeStatus(StatusId::MessagesReceived, QString::number(m_decoded)));
        m_context.status.SetStatusIcon(StatusIcon::PhoneAnswered);
        // The phone settles after the deletes before the parts are looked at.
        m_context.pump.run();
        m_context.clock.pause(m_context.pacing.longPauseMs);
        assembleLongMessages();
    }

    void assembleLongMessages() {
        const QString folder = m_context.settings.homeFolder();
        const qint64 expiry = 4 * qint64(m_context.working.pollPeriod);
        for (const QString& name : m_files.list(folder, QStringLiteral(".tmp"))) {
            if (!isPartFileName(name)) continue;
            const QString path = folder + name;
            const QStringList nameFields = name.chopped(4).split(QLatin1Char('-'));
            const QString reference = nameFields[0];
            const size_t total = nameFields[1].toULong();
            const auto modified = m_files.lastModified(path);
            const auto content = m_files.readAll(path);
            if (!modified || !content) continue;
            const bool expired = modified->secsTo(m_now) >= expiry;
            std::vector<MessagePart> kept;
            bool changed = false;
            for (PartGroup& group : groupBySender(readPartLines(*content, reference, total))) {
                if (!group.complete(total) && !expired) {
                    kept.insert(kept.end(), group.parts.begin(), group.parts.end());
                    continue;
                }
                if (!storeAssembled(assemble(group.parts))) {
                    kept.insert(kept.end(), group.parts.begin(), group.parts.end());
                    continue;
                }
                changed = true;
            }
            if (!changed) continue;
            if (kept.empty()) {
                m_files.remove(path);
            } else {
                QByteArray rest;
                for (const MessagePart& part : kept) rest += partLine(part);
                // Left whole when it cannot be rewritten: the store keeps the stored parts
                // from being stored twice.
                (void)m_files.replaceDurably(path, rest);
            }
        }
    }

private:
    // The memory is chosen with one name; a modem that takes only all three (the Huawei
    // E3372-325) gets them all. A memory it takes in neither form is named in "Log.txt" once a
    // connection.
    bool select(const QByteArray& memory) {
        contracts::ExchangeResult selected = m_context.phone.exchange(commands::select(memory));
        if (selected.outcome == contracts::ExchangeOutcome::Refused)
            selected = m_context.phone.exchange(commands::selectAll(memory));
        if (selected.answered()) return true;
        if (!selected.halted() && m_owner.m_unselectable.insert(memory).second)
            log(QStringLiteral("Хранилище SMS %1 не выбирается: %2")
                    .arg(QString::fromLatin1(memory), selected.reason()));
        return false;
    }

    // A message the phone passed straight to the host exists nowhere else: it is stored like a
    // listed one, and there is nothing to delete.
    void storeDeliveries() {
        for (const replies::Delivery& delivery : m_context.phone.takeDeliveries())
            handleEntry(delivery.statusReport ? "+CDS" : "+CMT", std::nullopt, delivery.pdu);
    }

    void DeleteMessage(std::optional<std::uint32_t> index) {
        if (!index) return;
        if (m_context.phone.syncEpoch() != m_selectedAt) {
            // Recorded, the message is known as stored when it is listed again and deleted then.
            qWarning().noquote() << "the line lost step since the listing; index" << *index
                                 << "stays in the phone for now";
            return;
        }
        const contracts::ExchangeResult deleted =
            m_context.phone.exchange(commands::remove(*index));
        if (deleted.outcome == contracts::ExchangeOutcome::Refused)
            log(QStringLiteral("SMS не удалено из ячейки %1: %2")
                    .arg(*index)
                    .arg(deleted.reason()));
    }

    bool log(const QString& message) { return log(QStringList{message}); }
    bool log(const QStringList& fields) { return m_context.log.write(fields).ok; }

    void logOnce(const QString& message) {
        if (!m_loggedOnce.contains(message)) {
            m_loggedOnce.insert(message);
            log(message);
        }
    }

    void logListProblem(const char* memory, const ListProblem& problem) {
        QString where =
            QStringLiteral("%1, строка %2").arg(QLatin1String(memory)).arg(problem.line);
        if (problem.index) where += QStringLiteral(", ячейка %1").arg(*problem.index);
        log(QStringLiteral("Запись списка SMS не прочитана (%1): %2: %3")
                .arg(where, QString::fromStdString(problem.reason),
                     QString::fromLatin1(problem.text.data(), qsizetype(problem.text.size()))));
    }

    // `index` is none for a message the phone passed to the host.
    void handleEntry(const char* memory, std::optional<std::uint32_t> index,
                     const std::string& hex) {
        const codec::DecodeResult result = codec::decodePduHex(hex);
        if (const auto* error = std::get_if<codec::DecodeError>(&result)) {
            // The raw PDU goes to the log first, so that nothing leaves the phone without trace.
            const QString where =
                index ? QStringLiteral("%1, ячейка %2").arg(QLatin1String(memory)).arg(*index)
                      : QLatin1String(memory);
            const bool logged = log(QStringLiteral("SMS не разобрано (%1): %2: %3")
                                        .arg(where, QString::fromStdString(codec::describe(*error)),
                                             QString::fromStdString(hex)));
            if (logged) DeleteMessage(index);
            return;
        }
        const codec::DecodedPdu& pdu = std::get<codec::DecodedPdu>(result);
        const codec::MessageRecord record = codec::messageRecord(pdu, m_texts);
        ++m_decoded;
        m_context.status.SetStatus(makeStatus(
            StatusId::WritingMessage, index ? QString::number(*index) : QLatin1String(memory)));
        m_context.status.SetStatusIcon(StatusIcon::WritingMessage);
        if (pdu.concat) {
            const MessagePart part{
                referenceText(*pdu.concat), pdu.concat->total,      pdu.concat->seq,
                fromU32(record.timeStamp),  fromU32(record.number), fromU32(record.text)};
            handlePart(index, part);
            return;
        }
        const QString timeStamp = fromU32(record.timeStamp), number = fromU32(record.number),
                      text = fromU32(record.text);
        if (pdu.kind == codec::MessageKind::StatusReport) {
            const QString discharge =
                pdu.dischargeTime ? fromU32(codec::formatTimeStamp(*pdu.dischargeTime)) : QString();
            Kept kept = Kept::NotKept;
            {
                const ReceivingTurn turn(m_context);
                kept =
                    keep(store::IncomingKind::Report,
                         reportKey(number, timeStamp, text, pdu.messageReference, discharge),
                         {timeStamp, number, text}, QString::number(m_context.working.nextNumber));
                // Reports count in the running number as the messages do.
                if (kept == Kept::Now) advanceNumber();
            }
            if (kept == Kept::Before) sayRepeated(number, timeStamp);
            if (kept == Kept::NotKept) return;
            DeleteMessage(index);
            if (kept == Kept::Now) reported(pdu, text);
            return;
        }
        QString runningNumber;
        Kept kept = Kept::NotKept;
        {
            const ReceivingTurn turn(m_context);
            runningNumber = QString::number(m_context.working.nextNumber);
            kept = keep(store::IncomingKind::Message, messageKey(number, timeStamp, text),
                        {timeStamp, number, text}, runningNumber);
            if (kept == Kept::Now) advanceNumber();
        }
        if (kept == Kept::NotKept) return;
        if (kept == Kept::Before) {
            sayRepeated(number, timeStamp);
            DeleteMessage(index);
            return;
        }
        DeleteMessage(index);
        received(runningNumber, number, timeStamp, text);
    }

    // Stored before the program stopped, or delivered twice by the network: said, so that a
    // user can tell it from a loss.
    void sayRepeated(const QString& number, const QString& timeStamp) {
        log({QStringLiteral("Повтор сохранённого SMS удалён из телефона: ") + number, timeStamp});
    }

    // A stop between the day's file and the store's note of it leaves a row that is not stored:
    // before anything else is written, each tells by the file whether its record went in. The
    // message is still in the phone either way, and is deleted (or stored) when it is listed.
    void reconcile() {
        const ReceivingTurn turn(m_context);
        const auto unstored = m_store.unstoredIncoming();
        if (!unstored) {
            // Each message listed says so itself, when it cannot be kept either.
            qWarning().noquote() << storeFailedText(unstored.error());
            return;
        }
        for (const store::IncomingMessage& row : *unstored) {
            const QStringList record{row.timeStamp, row.sender, row.text};
            const auto noted = m_dayFile.holdsSince(row.file, row.mark, record)
                                   ? m_store.markStored(row.id, row.file, m_now)
                                   : m_store.retarget(row.id, row.file, DayFile::unwritten());
            if (!noted) failed(storeFailedText(noted.error()));
        }
    }

    // Records a received message: its row in the store first (not yet stored, with where its
    // day's file stands), then the day's file, then the row marked stored.
    Kept keep(store::IncomingKind kind, const QByteArray& key, const QStringList& record,
              const QString& runningNumber) {
        store::IncomingMessage draft;
        draft.key = key;
        draft.kind = kind;
        draft.timeStamp = record.value(0);
        draft.sender = record.value(1);
        draft.text = record.value(2);
        draft.number = runningNumber;
        draft.modem = m_context.working.modem;
        draft.file = m_dayFile.name();
        draft.mark = m_dayFile.markOf(draft.file);
        const auto row = m_store.beginIncoming(draft);
        if (!row) return failed(storeFailedText(row.error()));
        if (row->isStored()) return Kept::Before;
        // Tried before and not written: where the file stands now is what a stop would change.
        if (row->file != draft.file || row->mark != draft.mark) {
            if (const auto moved = m_store.retarget(row->id, draft.file, draft.mark); !moved)
                return failed(storeFailedText(moved.error()));
        }
        const DayFile::Appended appended = m_dayFile.append(record);
        for (const QString& line : appended.notes) logOnce(line);
        if (!appended.written.ok) {
            (void)m_store.retarget(row->id, draft.file, DayFile::unwritten());
            qWarning().noquote() << appended.written.error;
            // A file held open fails every message alike: said once, naming the lock file.
            if (!appended.lockFile.isEmpty()) {
                ++m_context.figures.storeFailures;
                logOnce(writeFailedText(appended.file) +
                        QStringLiteral(" (открыт в другой программе: ") + appended.lockFile + u')');
                return Kept::NotKept;
            }
            return failed(writeFailedText(appended.file));
        }
        // In its day's file now; a store that does not take the note finds it there next time.
        if (const auto marked = m_store.markStored(row->id, appended.file, m_now); !marked)
            return failed(storeFailedText(marked.error()));
        m_storedIn = appended.file;
        return Kept::Now;
    }

    Kept failed(const QString& line) {
        ++m_context.figures.storeFailures;
        log(line);
        return Kept::NotKept;
    }

    // The sent message a report is about: its state follows the report (the report's line in
    // the day's file stays as it is), and so does its status file where it has one.
    void reported(const codec::DecodedPdu& pdu, const QString& text) {
        if (!pdu.messageReference || !pdu.status) return;
        const store::OutgoingState state = lifecycle::stateOfReport(*pdu.status);
        contracts::EngineFigures& figures = m_context.figures;
        ++(state == store::OutgoingState::Delivered ? figures.reportsDelivered
           : state == store::OutgoingState::Pending ? figures.reportsPending
                                                    : figures.reportsFailed);
        const auto found = lifecycle::recordReport(
            m_store,
            {*pdu.messageReference, fromU32(pdu.number), utcOf(pdu.timestamp), *pdu.status,
             utcOf(pdu.dischargeTime).value_or(QDateTime()).toLocalTime()},
            m_now);
        if (!found) {
            log(storeFailedText(found.error()));
            return;
        }
        if (!found.value()) return;
        const store::OutgoingMessage& message = *found.value();
        (void)lifecycle::writeStatusBeside(message);
        lifecycle::announce(m_listeners,
                            {lifecycle::HookEvent::Report, message.id, message.destination,
                             lifecycle::timeText(message.updated), text, message.place,
                             lifecycle::stateWord(message.state), message.modem},
                            m_now);
    }

    void received(const QString& id, const QString& number, const QString& timeStamp,
                  const QString& text) {
        ++m_context.figures.received;
        lifecycle::announce(m_listeners,
                            {lifecycle::HookEvent::Receive, id, number, timeStamp, text,
                             m_context.working.receiveFolder + m_storedIn,
                             QStringLiteral("received"), m_context.working.modem},
                            m_now);
    }

    void handlePart(std::optional<std::uint32_t> index, const MessagePart& part) {
        const auto known = m_store.incoming(keyOf(part));
        if (!known) {
            failed(storeFailedText(known.error()));
            return;
        }
        // A part of a message that was joined and stored already, delivered once more.
        if (known.value() && known.value()->isStored()) {
            DeleteMessage(index);
            return;
        }
        QString why;
        switch (offerPart(m_files, m_context.settings.homeFolder(), part, &why)) {
            case OfferOutcome::Stored:
            case OfferOutcome::AlreadyHeld:
                DeleteMessage(index);
                return;
            case OfferOutcome::Failed:
                qWarning().noquote() << why;
                log(writeFailedText(partFileName(part)));
                return;
        }
    }

    bool storeAssembled(const AssembledMessage& message) {
        Kept kept = Kept::NotKept;
        {
            const ReceivingTurn turn(m_context);
            kept = keep(store::IncomingKind::Message,
                        messageKey(message.number, message.timeStamp, message.text),
                        {message.timeStamp, message.number, message.text}, {});
        }
        if (kept == Kept::NotKept) return false;
        // A long message has no running number of its own.
        if (kept == Kept::Now) received({}, message.number, message.timeStamp, message.text);
        for (const MessagePart& part : message.parts) {
            store::IncomingMessage known;
            known.key = keyOf(part);
            known.kind = store::IncomingKind::Part;
            known.sender = part.number;
            known.timeStamp = part.timeStamp;
            known.text = part.text;
            known.stored = m_now;
            // Without it a part delivered again would wait in its part file; the message is safe.
            (void)m_store.beginIncoming(known);
        }
        return true;
    }

    void advanceNumber() {
        qint32& number = m_context.working.nextNumber;
        number = number >= kMaxSmsNumber || number < 0 ? 1 : number + 1;
        // The number in memory goes on; a settings file that takes no write is said once.
        const QString value = QString::number(number);
        if (!m_context.settings.write(config::setting::Number, value) &&
            !m_owner.m_numberReported) {
            m_owner.m_numberReported = true;
            log(config::notWrittenText(config::setting::Number, value));
        }
    }

    InboxRetrieval& m_owner;
    PollContext& m_context;
    storage::FileSystem& m_files;
    store::Store& m_store;
    QDateTime m_now;
    DayFile m_dayFile;
    QString m_storedIn;  // the file the last message went to: the day's file or a sibling
    codec::ReportTexts m_texts;
    lifecycle::Listeners m_listeners;
    qint64 m_decoded = 0;
    QSet<QString> m_loggedOnce;  ///< lines said once per run
    quint64 m_selectedAt = 0;    ///< the line's sync epoch when the memory listed was selected
};

InboxRetrieval::InboxRetrieval(storage::FileSystem& files) : m_files(files) {}

InboxRetrieval::~InboxRetrieval() = default;

std::vector<QByteArray> InboxRetrieval::memoriesToRead(contracts::PhoneLink& phone) {
    if (m_connection != phone.connection()) {
        // Asked once a connection: a modem plugged in anew may be another one.
        m_connection = phone.connection();
        m_unselectable.clear();
        m_statusReports = false;
        const contracts::ExchangeResult asked = phone.exchange(commands::askMemories());
        if (asked.answered()) {
            const QByteArray answer = phone.lastReply();
            for (const std::string& memory :
                 replies::memoriesOf(std::string_view(answer.constData(), size_t(answer.size()))))
                if (memory == "SR") m_statusReports = true;
        }
    }
    // Status reports kept apart are read after the SIM.
    if (m_statusReports) return {"ME", "SM", "SR"};
    return {"ME", "SM"};
}

void InboxRetrieval::RetrieveInbox(PollContext& context) { Run(*this, context).retrieve(); }

}  // namespace telvane::receive
