#include "lifecycle/Reports.h"

#include <cstdlib>

#include "lifecycle/MessageStatus.h"

namespace telvane::lifecycle {

namespace {

QString digits(QString number) { return number.remove(u'+'); }

}  // namespace

std::optional<store::OutgoingMessage> pickReported(const QList<store::OutgoingMessage>& awaiting,
                                                   const QString& number,
                                                   const std::optional<QDateTime>& submitted) {
    const auto distance = [&](const store::OutgoingMessage& m) {
        return submitted ? std::abs(m.sentAt.secsTo(*submitted)) : -m.sentAt.toSecsSinceEpoch();
    };
    const store::OutgoingMessage* best = nullptr;
    for (const store::OutgoingMessage& m : awaiting) {
        if (digits(m.destination) != digits(number)) continue;
        if (!best || distance(m) < distance(*best)) best = &m;
    }
    if (!best) return std::nullopt;
    return *best;
}

store::Result<std::optional<store::OutgoingMessage>> recordReport(store::Store& store,
                                                                  const Report& report,
                                                                  const QDateTime& now) {
    const auto awaiting = store.awaitingReport(report.reference, now.addDays(-kAwaitedReportDays));
    if (!awaiting) return awaiting.error();
    std::optional<store::OutgoingMessage> found =
        pickReported(*awaiting, report.number, report.submitted);
    if (!found) return found;
    found->state = stateOfReport(report.status);
    found->reportStatus = report.status;
    found->reportTime = report.discharged;
    found->updated = now;
    const auto updated = store.update(*found);
    if (!updated) return updated.error();
    // Taken meanwhile by another writer: that one's word stands.
    if (!*updated) return std::optional<store::OutgoingMessage>();
    return found;
}

}  // namespace telvane::lifecycle
