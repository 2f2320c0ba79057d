#include "http/Messages.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>

#include "codec/Alphabets.h"
#include "config/CodecSettings.h"
#include "config/Settings.h"
#include "lifecycle/MessageStatus.h"
#include "send/OutgoingCheck.h"
#include "send/OutgoingFile.h"

namespace telvane::http {

namespace {

using store::OutgoingMessage;
using store::OutgoingState;

// What a caller follows: a message on its way reads as sending, a report still pending (the
// centre keeps trying) as sent; "detail" keeps the outbox's own word.
QString apiState(OutgoingState state) {
    switch (state) {
        case OutgoingState::Queued:
            return QStringLiteral("queued");
        case OutgoingState::Sending:
        case OutgoingState::Submitted:
            return QStringLiteral("sending");
        case OutgoingState::Sent:
        case OutgoingState::Pending:
            return QStringLiteral("sent");
        case OutgoingState::Delivered:
            return QStringLiteral("delivered");
        case OutgoingState::Failed:
            return QStringLiteral("failed");
        case OutgoingState::Unconfirmed:
            break;
    }
    return QStringLiteral("unconfirmed");
}

QJsonObject describe(const OutgoingMessage& m) {
    QJsonArray references;
    for (const store::OutgoingPart& part : m.parts)
        references.append(part.reference ? QJsonValue(*part.reference) : QJsonValue());
    QJsonObject o{
        {QStringLiteral("id"), m.id},
        {QStringLiteral("state"), apiState(m.state)},
        {QStringLiteral("detail"), lifecycle::stateWord(m.state)},
        {QStringLiteral("number"), m.destination.isEmpty() ? m.number.trimmed() : m.destination},
        {QStringLiteral("parts"), int(m.parts.size())},
        {QStringLiteral("references"), references},
        {QStringLiteral("attempts"), m.attempts},
        {QStringLiteral("time"), lifecycle::timeText(m.updated)}};
    if (m.errorNumber || !m.errorText.isEmpty())
        o.insert(QStringLiteral("error"),
                 QJsonObject{{QStringLiteral("number"),
                              m.errorNumber ? QJsonValue(*m.errorNumber) : QJsonValue()},
                             {QStringLiteral("text"), m.errorText}});
    if (!m.modem.isEmpty()) o.insert(QStringLiteral("modem"), m.modem);
    if (!m.pinned.isEmpty()) o.insert(QStringLiteral("pinned"), m.pinned);
    if (m.reportStatus)
        o.insert(QStringLiteral("report"),
                 QJsonObject{
                     {QStringLiteral("status"),
                      QStringLiteral("%1").arg(*m.reportStatus, 2, 16, QLatin1Char('0')).toUpper()},
                     {QStringLiteral("time"), lifecycle::timeText(m.reportTime)}});
    return o;
}

QString newId(const QDateTime& now) {
    return QStringLiteral("api-") + now.toString(QStringLiteral("yyyyMMdd-hhmmss-zzz-")) +
           QString::number(QRandomGenerator::system()->bounded(0x10000u), 16)
               .rightJustified(4, u'0');
}

Reply noSuchMessage() {
    return Reply::error(404, QStringLiteral("not_found"), QStringLiteral("Нет такого сообщения."));
}

// One of this gateway's modems, or one another gateway sharing the store has said it has.
bool isKnownModem(store::Store& store, const config::Settings& settings, const QString& name) {
    const std::vector<config::ModemPlace> places = config::modemPlaces(settings);
    if (std::any_of(places.begin(), places.end(),
                    [&](const config::ModemPlace& p) { return !p.id.isEmpty() && p.id == name; }))
        return true;
    const auto beats = store.modems();
    return beats && std::any_of(beats->begin(), beats->end(),
                                [&](const store::ModemBeat& b) { return b.name == name; });
}

}  // namespace

bool plausibleId(const QString& id) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_.-]{0,199}$"));
    return pattern.match(id).hasMatch() && !id.contains(QStringLiteral(".."));
}

Reply postMessage(store::Store& store, const config::Settings& settings, const QByteArray& body,
                  const QDateTime& now) {
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
    const QJsonValue modem = request.value(QStringLiteral("modem"));
    if (!to.isString() || !text.isString() || !(report.isUndefined() || report.isBool()) ||
        !(modem.isUndefined() || modem.isString()))
        return Reply::error(400, QStringLiteral("bad_request"),
                            QStringLiteral("Нужны строки \"to\" и \"text\" и, по желанию, "
                                           "логическое \"report\" и строка \"modem\"."));
    // A message pinned to a modem nobody has waits for ever: only a known one is taken.
    const QString pinned = modem.toString().trimmed();
    if (!pinned.isEmpty() && !isKnownModem(store, settings, pinned))
        return Reply::error(422, QStringLiteral("unknown_modem"),
                            QStringLiteral("Нет модема с именем ") + pinned +
                                QStringLiteral(" ни в этом шлюзе, ни в общем хранилище."));

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

    OutgoingMessage message;
    message.id = newId(now);
    message.origin = store::Origin::Api;
    message.host = settings.gatewayName();  // where it came in; any gateway may send it
    message.number = number;
    // As the outbox reads a file's text: spaces (only) trimmed from both ends.
    message.text = QString::fromStdU32String(
        std::u32string(send::trimSpaces(text.toString().toStdU32String())));
    message.reportWanted = options.report;
    message.pinned = pinned;
    message.created = message.updated = now;
    const auto queued = store.addOutgoing(message);
    if (!queued) return storeUnavailable(queued.error());
    return Reply::json(202, {{QStringLiteral("id"), queued->id},
                             {QStringLiteral("state"), QStringLiteral("queued")},
                             {QStringLiteral("report"), options.report}});
}

Reply messageState(store::Store& store, const QString& id) {
    if (!plausibleId(id)) return noSuchMessage();
    const auto found = store.outgoing(id);
    if (!found) return storeUnavailable(found.error());
    if (!found->has_value()) return noSuchMessage();
    return Reply::json(200, describe(**found));
}

Reply recentMessages(store::Store& store, int limit) {
    const auto recent = store.recent(limit);
    if (!recent) return storeUnavailable(recent.error());
    QJsonArray list;
    for (const OutgoingMessage& m : *recent) list.append(describe(m));
    return Reply::json(200, {{QStringLiteral("messages"), list}});
}

}  // namespace telvane::http
