#include "http/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>

#include "codec/Alphabets.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "contracts/EngineFigures.h"
#include "lifecycle/MessageStatus.h"
#include "send/OutgoingCheck.h"
#include "storage/DurableFile.h"

namespace telvane::http {

namespace {

namespace setting = config::setting;
using lifecycle::MessageState;
using lifecycle::MessageStatus;

constexpr qint64 kStatusFileLimit = 64 * 1024;

// What a caller follows: the outbox's "waiting" reads as queued, a report still pending (the
// centre keeps trying) as sent; "detail" keeps the outbox's own word.
QString apiState(MessageState state) {
    switch (state) {
        case MessageState::Waiting:
            return QStringLiteral("queued");
        case MessageState::Sent:
        case MessageState::Pending:
            return QStringLiteral("sent");
        case MessageState::Delivered:
            return QStringLiteral("delivered");
        case MessageState::Failed:
            return QStringLiteral("failed");
    }
    return QStringLiteral("queued");
}

QJsonObject describe(const QString& id, const MessageStatus& s) {
    QJsonArray references;
    for (const std::optional<int>& r : s.references)
        references.append(r ? QJsonValue(*r) : QJsonValue());
    QJsonObject o{
        {QStringLiteral("id"), id},
        {QStringLiteral("state"), apiState(s.state)},
        {QStringLiteral("detail"), lifecycle::stateName(s.state)},
        {QStringLiteral("number"), s.number},
        {QStringLiteral("parts"), s.parts},
        {QStringLiteral("references"), references},
        {QStringLiteral("attempts"), s.attempts},
        {QStringLiteral("time"), s.time.isValid() ? lifecycle::timeText(s.time) : QString()}};
    if (s.errorNumber || !s.errorText.isEmpty())
        o.insert(QStringLiteral("error"),
                 QJsonObject{{QStringLiteral("number"),
                              s.errorNumber ? QJsonValue(*s.errorNumber) : QJsonValue()},
                             {QStringLiteral("text"), s.errorText}});
    if (s.report)
        o.insert(
            QStringLiteral("report"),
            QJsonObject{{QStringLiteral("status"),
                         QStringLiteral("%1").arg(*s.report, 2, 16, QLatin1Char('0')).toUpper()},
                        {QStringLiteral("time"),
                         s.reportTime.isValid() ? lifecycle::timeText(s.reportTime) : QString()}});
    return o;
}

std::optional<MessageStatus> statusIn(const QString& folder, const QString& id) {
    if (folder.isEmpty()) return std::nullopt;
    const storage::ReadResult read =
        storage::readOwnFile(folder + id + QStringLiteral(".status"), kStatusFileLimit);
    if (!read.ok()) return std::nullopt;
    return lifecycle::parseStatus(read.bytes);
}

QString newId(const QDateTime& now) {
    return QStringLiteral("api-") + now.toString(QStringLiteral("yyyyMMdd-hhmmss-zzz-")) +
           QString::number(QRandomGenerator::system()->bounded(0x10000u), 16)
               .rightJustified(4, u'0');
}

struct Folders {
    QString send, sent, failed;
    explicit Folders(const config::Settings& s)
        : send(s.folder(setting::Send)),
          sent(s.optionalFolder(setting::Sent)),
          failed(s.optionalFolder(setting::Failed)) {}
};

}  // namespace

bool plausibleId(const QString& id) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_.-]{0,199}$"));
    return pattern.match(id).hasMatch() && !id.contains(QStringLiteral(".."));
}

Reply postMessage(const config::Settings& settings, const QByteArray& body, const QDateTime& now) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Reply::error(
            400, QStringLiteral("bad_json"),
            QStringLiteral("Тело запроса не разбирается как JSON: ") + parseError.errorString());
    if (!document.isObject())
        return Reply::error(400, QStringLiteral("bad_json"),
                            QStringLiteral("Ожидался объект JSON {\"to\": ..., \"text\": ...}, "
                                           "а пришёл массив."));
    const QJsonObject request = document.object();
    const QJsonValue to = request.value(QStringLiteral("to"));
    const QJsonValue text = request.value(QStringLiteral("text"));
    const QJsonValue report = request.value(QStringLiteral("report"));
    if (!to.isString() || !text.isString() || !(report.isUndefined() || report.isBool()))
        return Reply::error(400, QStringLiteral("bad_request"),
                            QStringLiteral("Нужны строки \"to\" и \"text\" и, по желанию, "
                                           "логическое \"report\"."));

    codec::SubmitOptions options = config::sendingOptions(settings);
    // A report is asked for every message or for none ([SMS] Report): a caller that counts on
    // one must not be told yes when none will come.
    if (report.toBool() && !options.report)
        return Reply::error(422, QStringLiteral("report_off"),
                            QStringLiteral("Отчёты о доставке выключены (Report=0 в [SMS])."));
    const QString separator = settings.separator();
    const QString number = to.toString().trimmed();
    if (separator.isEmpty() || number.contains(separator))
        return Reply::error(422, QStringLiteral("number_not_digits"),
                            QStringLiteral("Номер содержит разделитель файлов сообщений."));
    // UTF-8 with its byte order mark reads as UTF-8 whatever [SMS] Encoding says: nothing of
    // the text is lost on the way through the folder.
    const QByteArray file =
        QByteArray("\xEF\xBB\xBF") + (number + separator + text.toString()).toUtf8();
    if (const auto refusal =
            send::checkOutgoing(file, codec::TextEncoding::Utf8, separator, options))
        return Reply::error(refusal->settings ? 500 : 422, refusal->code, refusal->reason);
    // Accepted means sent as written: what the outbox would drop or replace is refused here,
    // not changed after the 202.
    if (const auto changed = send::checkTextKept(text.toString()))
        return Reply::error(422, changed->code, changed->reason);

    const Folders folders(settings);
    if (!QDir().mkpath(folders.send))
        return Reply::error(503, QStringLiteral("send_folder"),
                            QStringLiteral("Папка отправки недоступна: ") + folders.send);
    QString id = newId(now);
    while (QFileInfo::exists(folders.send + id + QStringLiteral(".txt")) ||
           statusIn(folders.sent, id) || statusIn(folders.failed, id))
        id = newId(now);
    const storage::WriteResult written =
        storage::replaceDurably(folders.send + id + QStringLiteral(".txt"), file);
    if (!written.ok)
        return Reply::error(503, QStringLiteral("not_written"),
                            QStringLiteral("Сообщение не записано: ") + written.error);
    return Reply::json(202, {{QStringLiteral("id"), id},
                             {QStringLiteral("state"), QStringLiteral("queued")},
                             {QStringLiteral("report"), options.report}});
}

Reply messageState(const config::Settings& settings, const QString& id) {
    if (!plausibleId(id))
        return Reply::error(404, QStringLiteral("not_found"),
                            QStringLiteral("Нет такого сообщения."));
    const Folders folders(settings);
    const std::optional<MessageStatus> waiting = statusIn(folders.send, id);
    const QFileInfo file(folders.send + id + QStringLiteral(".txt"));
    if (file.exists()) {
        MessageStatus status = waiting.value_or(MessageStatus{});
        if (!waiting) status.time = file.lastModified();
        QJsonObject o = describe(id, status);
        if (contracts::engineFigures().sending() == id.toStdString())
            o.insert(QStringLiteral("state"), QStringLiteral("sending"));
        return Reply::json(200, o);
    }
    for (const QString& folder : {folders.sent, folders.failed})
        if (const auto status = statusIn(folder, id))
            return Reply::json(200, describe(id, *status));
    // Without a Sent folder the outbox deletes a file only once the phone confirmed it.
    if (folders.sent.isEmpty() && id.startsWith(QStringLiteral("api-"))) {
        MessageStatus sent;
        sent.state = MessageState::Sent;
        QJsonObject o = describe(id, sent);
        o.insert(QStringLiteral("archived"), false);
        return Reply::json(200, o);
    }
    return Reply::error(404, QStringLiteral("not_found"), QStringLiteral("Нет такого сообщения."));
}

Reply recentMessages(const config::Settings& settings, int limit) {
    const Folders folders(settings);
    struct Found {
        QDateTime time;
        QJsonObject object;
    };
    QList<Found> found;
    QSet<QString> seen;
    for (const QString& folder : {folders.send, folders.sent, folders.failed}) {
        if (folder.isEmpty()) continue;
        const QFileInfoList files = QDir(folder).entryInfoList(
            {QStringLiteral("*.status"), QStringLiteral("*.txt")}, QDir::Files, QDir::Time);
        for (const QFileInfo& info : files) {
            const QString id = info.completeBaseName();
            if (seen.contains(id) || found.size() >= 4 * limit) continue;
            seen.insert(id);
            const Reply reply = messageState(settings, id);
            if (reply.status != 200) continue;
            const QJsonObject o = QJsonDocument::fromJson(reply.body).object();
            const QDateTime time =
                QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODate);
            found.append({time.isValid() ? time : info.lastModified(), o});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.time > b.time; });
    QJsonArray list;
    for (const Found& f : found.mid(0, limit)) list.append(f.object);
    return Reply::json(200, {{QStringLiteral("messages"), list}});
}

}  // namespace telvane::http
