#include "receive/InboxRetrieval.h"

#include <QDebug>
#include <QFileInfo>
#include <QSet>

#include "codec/MessageRecord.h"
#include "codec/PduDecoder.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "contracts/EngineFigures.h"
#include "lifecycle/AwaitedReports.h"
#include "lifecycle/Hooks.h"
#include "lifecycle/MessageStatus.h"
#include "office/OfficeStore.h"
#include "receive/ListAnswer.h"
#include "receive/MessageFiles.h"
#include "receive/PartFiles.h"
#include "storage/LogFile.h"

namespace telvane::receive {

using contracts::makeStatus;
using contracts::PollContext;
using contracts::StatusIcon;
using contracts::StatusId;

namespace {

constexpr qint32 kMaxSmsNumber = 10000;
/// Seconds: a memory selection; the listing's wait for its next byte, and for all of it.
constexpr int kSelectS = 5;
constexpr int kListQuietS = 20;
constexpr int kListCeilingS = 300;

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

QString referenceText(const codec::Concat& concat) {
    const int digits = concat.refBits == 16 ? 4 : 2;
    return QStringLiteral("%1").arg(concat.ref, digits, 16, QLatin1Char('0')).toUpper();
}

QByteArray partKey(const MessagePart& part) {
    return journalKey(QStringLiteral("part"), part.number, part.timeStamp,
                      part.reference + QLatin1Char('-') + QString::number(part.total) +
                          QLatin1Char('$') + QString::number(part.sequence) + QLatin1Char('\t') +
                          part.text);
}

QByteArray messageKey(const QString& number, const QString& timeStamp, const QString& text) {
    return journalKey(QStringLiteral("message"), number, timeStamp, text);
}

// Two reports on two messages to one recipient may share the time stamp and the text; they
// differ in the reference of the message they report on, or in when it was discharged.
QByteArray reportKey(const codec::DecodedPdu& pdu, const codec::MessageRecord& record) {
    const QString discharge =
        pdu.dischargeTime ? fromU32(codec::formatTimeStamp(*pdu.dischargeTime)) : QString();
    return journalKey(QStringLiteral("report"), fromU32(record.number), fromU32(record.timeStamp),
                      fromU32(record.text) + QStringLiteral("\tMR ") +
                          QString::number(pdu.messageReference.value_or(0)) +
                          QStringLiteral("\tDT ") + discharge);
}

}  // namespace

// What one run needs at hand: the context, the day's file and the counters.
class InboxRetrieval::Run {
public:
    Run(InboxRetrieval& owner, PollContext& context)
        : m_owner(owner),
          m_context(context),
          m_files(owner.m_files),
          m_journal(owner.journal(context)),
          m_now(context.wallClock.now()),
          m_dayFileName(DayFileName(m_now.date(), context.working.FileType)),
          m_target{context.working.FileType, context.working.AutoScroll == 1,
                   context.working.encoding},
          m_texts(config::reportTexts(context.settings)) {}

    void retrieve() {
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
            const contracts::ExchangeResult listed =
                m_context.phone.exchange({"AT+CMGL=4\r\n", QStringLiteral("Проверка наличия SMS"),
                                          QStringLiteral("OK"), kListQuietS, kListCeilingS});
            storeDeliveries();
            if (!listed.answered()) {
                if (m_context.phone.halted()) return;
                continue;
            }
            const QByteArray answer = m_context.phone.gsBuffer();
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
        if (m_target.mode == 1 || m_target.mode == 2) office::CloseOfficeFile();
    }

    void assembleLongMessages() {
        const QString folder = m_context.settings.homeFolder();
        const qint64 expiry = 4 * qint64(m_context.working.PollPeriod);
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
                // Left whole when it cannot be rewritten: the journal keeps the stored parts
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
        const QString action = QStringLiteral("Выбор хранилища SMS");
        const QByteArray quoted = '"' + memory + '"';
        contracts::ExchangeResult selected = m_context.phone.exchange(
            {"AT+CPMS=" + quoted + "\r\n", action, QStringLiteral("OK"), kSelectS});
        if (selected.outcome == contracts::ExchangeOutcome::Refused)
            selected = m_context.phone.exchange(
                {"AT+CPMS=" + quoted + ',' + quoted + ',' + quoted + "\r\n", action,
                 QStringLiteral("OK"), kSelectS});
        if (selected.answered()) return true;
        if (!selected.halted() && m_owner.m_unselectable.insert(memory).second)
            log(QStringLiteral("Хранилище SMS %1 не выбирается: %2")
                    .arg(QString::fromLatin1(memory), selected.reason()));
        return false;
    }

    // A message the phone passed straight to the host exists nowhere else: it is stored like a
    // listed one, and there is nothing to delete.
    void storeDeliveries() {
        for (const phone::Delivery& delivery : m_context.phone.takeDeliveries())
            handleEntry(delivery.statusReport ? "+CDS" : "+CMT", std::nullopt, delivery.pdu);
    }

    void DeleteMessage(std::optional<std::uint32_t> index) {
        if (!index) return;
        if (m_context.phone.syncEpoch() != m_selectedAt) {
            // Held in the journal, the message is deleted at a later poll.
            qWarning().noquote() << "the line lost step since the listing; index" << *index
                                 << "stays in the phone for now";
            return;
        }
        const contracts::ExchangeResult deleted = m_context.phone.exchange(
            {QByteArrayLiteral("at+cmgd=") + QByteArray::number(*index) + '\r',
             QStringLiteral("Удаление SMS из ячейки ") + QString::number(*index),
             QStringLiteral("OK"), 5});
        if (deleted.outcome == contracts::ExchangeOutcome::Refused)
            log(QStringLiteral("SMS не удалено из ячейки %1: %2")
                    .arg(*index)
                    .arg(deleted.reason()));
    }

    bool log(const QString& message) { return log(QStringList{message}); }
    bool log(const QStringList& fields) {
        m_files.makeFolder(m_context.working.gfsLogs);
        const storage::WriteResult written =
            storage::appendLog(m_files, m_context.working.gfsLogs, m_context.wallClock.now(),
                               fields, m_context.working.encoding);
        if (!written.ok) qWarning().noquote() << "Log line lost:" << written.error << fields;
        return written.ok;
    }

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
        const bool report = pdu.kind == codec::MessageKind::StatusReport;
        const qint32 runningNumber = m_context.working.gflSMSnum;
        if (!storeMessage(index,
                          report ? reportKey(pdu, record) : messageKey(number, timeStamp, text),
                          timeStamp, number, text))
            return;
        if (report) {
            updateReportedMessage(pdu, text);
        } else {
            received(QString::number(runningNumber), number, timeStamp, text);
        }
    }

    // The sent message a report is about, when it waits in Sent with its status file: the
    // status says what the report says (the report's line in the day's file stays as it is).
    void updateReportedMessage(const codec::DecodedPdu& pdu, const QString& text) {
        if (!pdu.messageReference || !pdu.status) return;
        const lifecycle::MessageState state = lifecycle::stateOfReport(*pdu.status);
        contracts::EngineFigures& figures = contracts::engineFigures();
        ++(state == lifecycle::MessageState::Delivered ? figures.reportsDelivered
           : state == lifecycle::MessageState::Pending ? figures.reportsPending
                                                       : figures.reportsFailed);
        const auto found = lifecycle::matchReport(
            m_files, lifecycle::awaitedReportsPath(m_context.settings.homeFolder()),
            *pdu.messageReference, fromU32(pdu.number), utcOf(pdu.timestamp),
            state != lifecycle::MessageState::Pending, m_now);
        if (!found) return;
        const QString statusPath = lifecycle::statusPathOf(found->messageFile);
        const auto content = m_files.readAll(statusPath);
        if (!content) return;  // taken away meanwhile
        lifecycle::MessageStatus status = lifecycle::parseStatus(*content);
        status.state = state;
        status.report = *pdu.status;
        status.reportTime = utcOf(pdu.dischargeTime).value_or(QDateTime()).toLocalTime();
        status.time = m_context.wallClock.now();
        if (!m_files.replaceDurably(statusPath, lifecycle::serialize(status)).ok) return;
        hook({lifecycle::HookEvent::Report, QFileInfo(statusPath).completeBaseName(), status.number,
              lifecycle::timeText(status.time), text, found->messageFile,
              lifecycle::stateName(state)});
    }

    void received(const QString& id, const QString& number, const QString& timeStamp,
                  const QString& text) {
        ++contracts::engineFigures().received;
        const QString path = m_context.settings.homeFolder() + InboxIndex::fileName();
        const storage::WriteResult indexed =
            m_owner.m_index.append(m_files, path,
                                   {0, lifecycle::timeText(m_context.wallClock.now()), number,
                                    timeStamp, text, m_storedIn, id});
        // The message is safe in the day's file; only readers of the index miss it.
        if (!indexed.ok) log(writeFailedText(InboxIndex::fileName()));
        hook({lifecycle::HookEvent::Receive, id, number, timeStamp, text,
              m_context.working.gfsReceive + m_storedIn, QStringLiteral("received")});
    }

    void hook(const lifecycle::HookMessage& message) {
        if (m_owner.m_hooks)
            m_owner.m_hooks->queue(m_context.settings, message, m_context.working.gfsLogs,
                                   m_context.working.encoding);
    }

    void handlePart(std::optional<std::uint32_t> index, const MessagePart& part) {
        // A part of a message that was joined and stored already, delivered once more.
        if (m_journal.contains(partKey(part))) {
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

    /// True when it was stored now.
    bool storeMessage(std::optional<std::uint32_t> index, const QByteArray& key,
                      const QString& timeStamp, const QString& number, const QString& text) {
        if (m_journal.contains(key)) {
            // Stored before the program stopped, or delivered twice by the network: said, so
            // that a user can tell it from a loss.
            log({QStringLiteral("Повтор сохранённого SMS удалён из телефона: ") + number,
                 timeStamp});
            DeleteMessage(index);
            return false;
        }
        if (!store(timeStamp, number, text)) return false;
        // Without the journal entry a restart could store it once more, but the message is
        // safe in the day's file: the delete goes ahead.
        (void)m_journal.add(key);
        advanceNumber();
        DeleteMessage(index);
        return true;
    }

    bool store(const QString& timeStamp, const QString& number, const QString& text) {
        // A fresh installation has no receive folder yet; that is no reason to keep messages
        // in the phone. A folder that cannot be made shows up as a failed write below.
        m_files.makeFolder(m_context.working.gfsReceive);
        OfficeNotes notes;
        const storage::WriteResult written =
            WriteMessageFile(m_files, m_context.working.gfsReceive + m_dayFileName,
                             {timeStamp, number, text}, m_target, &notes);
        for (const QString& line : notes.lines) logOnce(line);
        m_storedIn = notes.file.isEmpty() ? m_dayFileName : notes.file;
        if (written.ok) return true;
        ++contracts::engineFigures().storeFailures;
        qWarning().noquote() << written.error;
        const QString failed = writeFailedText(notes.file.isEmpty() ? m_dayFileName : notes.file);
        // A file held open fails every message alike: said once, naming the lock file.
        if (!notes.lockFile.isEmpty()) {
            logOnce(failed + QStringLiteral(" (открыт в другой программе: ") + notes.lockFile +
                    u')');
        } else {
            log(failed);
        }
        return false;
    }

    bool storeAssembled(const AssembledMessage& message) {
        const QByteArray key = messageKey(message.number, message.timeStamp, message.text);
        if (!m_journal.contains(key)) {
            if (!store(message.timeStamp, message.number, message.text)) return false;
            (void)m_journal.add(key);
            // A long message has no running number of its own.
            received({}, message.number, message.timeStamp, message.text);
        }
        for (const MessagePart& part : message.parts) (void)m_journal.add(partKey(part));
        return true;
    }

    void advanceNumber() {
        qint32& number = m_context.working.gflSMSnum;
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
    StoredJournal& m_journal;
    QDateTime m_now;
    QString m_dayFileName;
    QString m_storedIn;  // the file the last message went to: the day's file or a sibling
    StoreTarget m_target;
    codec::ReportTexts m_texts;
    qint64 m_decoded = 0;
    QSet<QString> m_loggedOnce;  ///< lines said once per run
    quint64 m_selectedAt = 0;    ///< the line's sync epoch when the memory listed was selected
};

InboxRetrieval::InboxRetrieval()
    : m_ownFiles(std::make_unique<storage::DiskFileSystem>()), m_files(*m_ownFiles) {}

InboxRetrieval::InboxRetrieval(storage::FileSystem& files) : m_files(files) {}

InboxRetrieval::~InboxRetrieval() = default;

StoredJournal& InboxRetrieval::journal(const PollContext& context) {
    const QString path = context.settings.homeFolder() + StoredJournal::fileName();
    if (!m_journal || path != m_journalPath) {
        m_journal = std::make_unique<StoredJournal>(m_files, path);
        m_journalPath = path;
    }
    return *m_journal;
}

std::vector<QByteArray> InboxRetrieval::memoriesToRead(contracts::PhoneLink& phone) {
    if (m_connection != phone.connection()) {
        // Asked once a connection: a modem plugged in anew may be another one.
        m_connection = phone.connection();
        m_unselectable.clear();
        m_statusReports = false;
        const contracts::ExchangeResult asked =
            phone.exchange({"AT+CPMS=?\r\n", QStringLiteral("Список хранилищ SMS"),
                            QStringLiteral("OK"), kSelectS});
        if (asked.answered()) {
            const QByteArray answer = phone.gsBuffer();
            for (const std::string& memory :
                 phone::memoriesOf(std::string_view(answer.constData(), size_t(answer.size()))))
                if (memory == "SR") m_statusReports = true;
        }
    }
    // Status reports kept apart are read after the SIM.
    if (m_statusReports) return {"ME", "SM", "SR"};
    return {"ME", "SM"};
}

void InboxRetrieval::RetrieveInbox(PollContext& context) { Run(*this, context).retrieve(); }

void InboxRetrieval::AssembleLongMessages(PollContext& context) {
    Run(*this, context).assembleLongMessages();
}

}  // namespace telvane::receive
