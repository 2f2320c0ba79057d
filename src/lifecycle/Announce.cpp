#include "lifecycle/Announce.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include "config/Settings.h"
#include "config/SettingsKeys.h"

namespace telvane::lifecycle {

QByteArray webhookBody(const HookMessage& message) {
    QJsonObject event{
        {QStringLiteral("event"), eventName(message.event)},
        {QStringLiteral("id"), message.id},
        {QStringLiteral("number"), message.number},
        {QStringLiteral("time"), message.timeStamp},
        {QStringLiteral("text"), message.text},
        {QStringLiteral("file"), QDir::toNativeSeparators(message.file)},
        {QStringLiteral("status"), message.status},
        {QStringLiteral("eventId"), QUuid::createUuid().toString(QUuid::WithoutBraces)}};
    if (!message.modem.isEmpty()) event.insert(QStringLiteral("modem"), message.modem);
    return QJsonDocument(event).toJson(QJsonDocument::Compact);
}

void announce(const Listeners& to, const HookMessage& message, const QDateTime& now) {
    if (!to.settings.text(config::setting::HttpWebhook).trimmed().isEmpty()) {
        const auto queued = to.store.addEvent(webhookBody(message), now);
        if (!queued)
            (void)to.log.write({QStringLiteral("Событие не поставлено в очередь Webhook: ") +
                                    eventName(message.event) + u' ' + message.id,
                                queued.error().message});
    }
    if (to.hooks) to.hooks->queue(to.settings, message);
}

}  // namespace telvane::lifecycle
