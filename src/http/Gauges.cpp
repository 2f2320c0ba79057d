#include "http/Gauges.h"

#include <QJsonArray>
#include <QTimeZone>

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
    void counter(const char* name, const char* help, std::uint64_t value) {
        family(name, "counter", help);
        sample(QByteArray(name) + "_total", static_cast<double>(value));
    }
    void gauge(const char* name, const char* help, double value) {
        family(name, "gauge", help);
        sample(name, value);
    }
    QByteArray text() const { return m_text; }

private:
    QByteArray m_text;
};

}  // namespace

QByteArray metricsText(const contracts::EngineFigures& f, const QueueFigures& queue) {
    Exposition out;
    out.counter("telvane_received_messages", "Received messages stored (a long message once).",
                f.received);
    out.counter("telvane_sent_parts", "Short messages (parts) the phone confirmed.", f.partsSent);
    out.counter("telvane_refused_parts", "Short messages (parts) the phone did not take.",
                f.partsRefused);
    out.counter("telvane_failed_messages", "Outgoing messages that failed for good.", f.failed);
    out.family("telvane_delivery_reports", "counter", "Delivery reports received, by outcome.");
    out.sample("telvane_delivery_reports_total", static_cast<double>(f.reportsDelivered.load()),
               "status=\"delivered\"");
    out.sample("telvane_delivery_reports_total", static_cast<double>(f.reportsPending.load()),
               "status=\"pending\"");
    out.sample("telvane_delivery_reports_total", static_cast<double>(f.reportsFailed.load()),
               "status=\"failed\"");
    out.counter("telvane_exchange_timeouts", "Phone commands that got no answer in time.",
                f.exchangeTimeouts);
    out.counter("telvane_store_failures", "Received messages that could not be written.",
                f.storeFailures);
    out.gauge("telvane_queue_files", "Outgoing messages waiting to go out.", queue.files);
    out.gauge("telvane_queue_oldest_age_seconds", "Age of the oldest waiting outgoing message.",
              static_cast<double>(queue.oldestAgeSeconds.value_or(0)));
    out.gauge("telvane_in_service", "1 while the phone answers.", f.inService ? 1 : 0);
    out.gauge("telvane_signal_rssi", "Signal as AT+CSQ gives it (0-31, 99 or -1 unknown).",
              f.signal);
    out.gauge("telvane_registration", "Network registration as AT+CREG gives it (-1 unknown).",
              f.registration);
    out.family("telvane_poll_duration_seconds", "histogram", "How long each poll took.");
    for (std::size_t i = 0; i < f.kPollBucketsMs.size(); ++i)
        out.sample("telvane_poll_duration_seconds_bucket",
                   static_cast<double>(f.pollBuckets[i].load()),
                   "le=\"" + QByteArray::number(f.kPollBucketsMs[i] / 1000.0, 'g', 6) + '"');
    out.sample("telvane_poll_duration_seconds_bucket", static_cast<double>(f.polls.load()),
               "le=\"+Inf\"");
    out.sample("telvane_poll_duration_seconds_sum", f.pollMsTotal.load() / 1000.0);
    out.sample("telvane_poll_duration_seconds_count", static_cast<double>(f.polls.load()));
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
