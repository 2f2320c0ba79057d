#include "http/Gauges.h"

#include <QJsonArray>
#include <QTimeZone>
#include <functional>

#include "contracts/EngineFigures.h"
#include "lifecycle/MessageStatus.h"

namespace telvane::http {

QueueFigures queueFigures(store::Store& store, const QDateTime& now) {
    QueueFigures queue;
    const auto waiting = store.queue();
    if (!waiting) return queue;
    queue.files = waiting->waiting;
    if (waiting->oldest) queue.oldestAgeSeconds = std::max<qint64>(0, waiting->oldest->secsTo(now));
    return queue;
}

namespace {

// Each family once, then a sample per modem, labelled with the modem where there are several.
class Exposition {
public:
    void family(const char* name, const char* type, const char* help) {
        m_text +=
            QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const QByteArray& name, double value, const QByteArray& labels = {}) {
        m_text += name + (labels.isEmpty() ? QByteArray() : '{' + labels + '}') + ' ' +
                  QByteArray::number(value, 'g', 15) + '\n';
    }
    QByteArray text() const { return m_text; }

private:
    QByteArray m_text;
};

QByteArray withModem(const QString& modem, const QByteArray& labels = {}) {
    if (modem.isEmpty()) return labels;
    // Section names are the operator's: a quote or a backslash in one must not end the label.
    QByteArray name = modem.toUtf8();
    name.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    const QByteArray label = "modem=\"" + name + '"';
    return labels.isEmpty() ? label : label + ',' + labels;
}

using Figure = std::function<double(const contracts::EngineFigures&)>;

template <typename Atomic>
Figure loaded(const Atomic contracts::EngineFigures::*member) {
    return [member](const contracts::EngineFigures& f) { return double((f.*member).load()); };
}

}  // namespace

QByteArray metricsText(const contracts::GatewayFigures& modems, const QueueFigures& queue) {
    using F = contracts::EngineFigures;
    Exposition out;
    const auto perModem = [&](const char* name, const char* type, const char* help,
                              const Figure& figure, const QByteArray& suffix = {}) {
        out.family(name, type, help);
        for (const contracts::ModemFigures& m : modems)
            out.sample(QByteArray(name) + suffix, figure(*m.figures), withModem(m.modem));
    };
    const char* const counter = "counter";
    const char* const gauge = "gauge";
    perModem("telvane_received_messages", counter,
             "Received messages stored (a long message once).", loaded(&F::received), "_total");
    perModem("telvane_sent_parts", counter, "Short messages (parts) the phone confirmed.",
             loaded(&F::partsSent), "_total");
    perModem("telvane_refused_parts", counter, "Short messages (parts) the phone did not take.",
             loaded(&F::partsRefused), "_total");
    perModem("telvane_failed_messages", counter, "Outgoing messages that failed for good.",
             loaded(&F::failed), "_total");
    out.family("telvane_delivery_reports", counter, "Delivery reports received, by outcome.");
    for (const contracts::ModemFigures& m : modems) {
        const F& f = *m.figures;
        out.sample("telvane_delivery_reports_total", double(f.reportsDelivered.load()),
                   withModem(m.modem, "status=\"delivered\""));
        out.sample("telvane_delivery_reports_total", double(f.reportsPending.load()),
                   withModem(m.modem, "status=\"pending\""));
        out.sample("telvane_delivery_reports_total", double(f.reportsFailed.load()),
                   withModem(m.modem, "status=\"failed\""));
    }
    perModem("telvane_exchange_timeouts", counter, "Phone commands that got no answer in time.",
             loaded(&F::exchangeTimeouts), "_total");
    perModem("telvane_store_failures", counter, "Received messages that could not be written.",
             loaded(&F::storeFailures), "_total");
    out.family("telvane_queue_files", gauge, "Outgoing messages waiting to go out.");
    out.sample("telvane_queue_files", queue.files);
    out.family("telvane_queue_oldest_age_seconds", gauge,
               "Age of the oldest waiting outgoing message.");
    out.sample("telvane_queue_oldest_age_seconds",
               static_cast<double>(queue.oldestAgeSeconds.value_or(0)));
    perModem("telvane_in_service", gauge, "1 while the phone answers.",
             [](const F& f) { return f.inService ? 1.0 : 0.0; });
    perModem("telvane_signal_rssi", gauge, "Signal as AT+CSQ gives it (0-31, 99 or -1 unknown).",
             loaded(&F::signal));
    perModem("telvane_registration", gauge,
             "Network registration as AT+CREG gives it (-1 unknown).", loaded(&F::registration));
    out.family("telvane_poll_duration_seconds", "histogram", "How long each poll took.");
    for (const contracts::ModemFigures& m : modems) {
        const F& f = *m.figures;
        for (std::size_t i = 0; i < f.kPollBucketsMs.size(); ++i)
            out.sample(
                "telvane_poll_duration_seconds_bucket",
                static_cast<double>(f.pollBuckets[i].load()),
                withModem(
                    m.modem,
                    "le=\"" + QByteArray::number(f.kPollBucketsMs[i] / 1000.0, 'g', 6) + '"'));
        out.sample("telvane_poll_duration_seconds_bucket", static_cast<double>(f.polls.load()),
                   withModem(m.modem, "le=\"+Inf\""));
        out.sample("telvane_poll_duration_seconds_sum", f.pollMsTotal.load() / 1000.0,
                   withModem(m.modem));
        out.sample("telvane_poll_duration_seconds_count", static_cast<double>(f.polls.load()),
                   withModem(m.modem));
    }
    return out.text();
}

Reply inboxPage(store::Store& store, qint64 after, int limit) {
    const auto page = store.inbox(after, limit);
    if (!page) return storeUnavailable(page.error());
    QJsonArray messages;
    for (const store::IncomingMessage& m : page->messages) {
        QJsonObject o{{QStringLiteral("seq"), m.id},
                      {QStringLiteral("stored"), lifecycle::timeText(m.stored)},
                      {QStringLiteral("number"), m.sender},
                      {QStringLiteral("time"), m.timeStamp},
                      {QStringLiteral("text"), m.text},
                      {QStringLiteral("file"), m.file}};
        if (!m.number.isEmpty()) o.insert(QStringLiteral("id"), m.number);
        messages.append(o);
    }
    const qint64 cursor = page->messages.isEmpty() ? after : page->messages.last().id;
    return Reply::json(200, {{QStringLiteral("messages"), messages},
                             {QStringLiteral("cursor"), QString::number(cursor)},
                             {QStringLiteral("more"), page->more}});
}

Reply hourlyTraffic(store::Store& store, int hours, const QDateTime& now) {
    // The start of the hour `now` is in, by the clock on the wall (a zone 30 minutes off UTC
    // included).
    const qint64 offset = now.offsetFromUtc();
    const qint64 hourStart = (now.toSecsSinceEpoch() + offset) / 3600 * 3600 - offset;
    const QDateTime from =
        QDateTime::fromSecsSinceEpoch(hourStart - 3600LL * (hours - 1), now.timeZone());
    const auto traffic = store.trafficByHour(from, hours);
    if (!traffic) return storeUnavailable(traffic.error());
    QJsonArray list;
    for (const store::HourFigures& hour : *traffic)
        list.append(QJsonObject{{QStringLiteral("start"), lifecycle::timeText(hour.start)},
                                {QStringLiteral("sent"), hour.sent},
                                {QStringLiteral("received"), hour.received},
                                {QStringLiteral("failed"), hour.failed}});
    return Reply::json(200, {{QStringLiteral("hours"), list}});
}

qint64 newestReceived(store::Store& store) {
    const auto newest = store.newestIncoming();
    return newest ? *newest : 0;
}

}  // namespace telvane::http
