#include "store/Records.h"

namespace telvane::store {

QString stateName(OutgoingState state) {
    constexpr const char* names[] = {"queued",  "sending",   "submitted", "sent",
                                     "pending", "delivered", "failed",    "unconfirmed"};
    return QString::fromLatin1(names[static_cast<int>(state)]);
}

std::optional<OutgoingState> stateNamed(const QString& name) {
    for (int i = 0; i <= static_cast<int>(OutgoingState::Unconfirmed); ++i)
        if (stateName(OutgoingState(i)) == name) return OutgoingState(i);
    return std::nullopt;
}

bool isFinished(OutgoingState state) {
    return state == OutgoingState::Sent || state == OutgoingState::Delivered ||
           state == OutgoingState::Failed;
}

QString originName(Origin origin) {
    return origin == Origin::Api ? QStringLiteral("api") : QStringLiteral("file");
}

QString partStateName(PartState state) {
    switch (state) {
        case PartState::Waiting:
            return QStringLiteral("waiting");
        case PartState::Submitted:
            return QStringLiteral("submitted");
        case PartState::Confirmed:
            break;
    }
    return QStringLiteral("confirmed");
}

PartState partStateNamed(const QString& name) {
    if (name == u"submitted") return PartState::Submitted;
    if (name == u"confirmed") return PartState::Confirmed;
    return PartState::Waiting;
}

QString kindName(IncomingKind kind) {
    switch (kind) {
        case IncomingKind::Message:
            return QStringLiteral("message");
        case IncomingKind::Report:
            return QStringLiteral("report");
        case IncomingKind::Part:
            break;
    }
    return QStringLiteral("part");
}

IncomingKind kindNamed(const QString& name) {
    if (name == u"report") return IncomingKind::Report;
    if (name == u"part") return IncomingKind::Part;
    return IncomingKind::Message;
}

Origin originNamed(const QString& name) { return name == u"api" ? Origin::Api : Origin::File; }

std::optional<qint64> pickFor(const Claimant& who, const QList<Candidate>& queued) {
    const auto preferred = [&](const Candidate& c) {
        if (!c.pinned.isEmpty()) return true;  // pinned to it: nobody else may take it
        return std::any_of(who.prefixes.begin(), who.prefixes.end(),
                           [&](const QString& prefix) { return c.destination.startsWith(prefix); });
    };
    std::optional<qint64> other;
    for (const Candidate& c : queued) {
        if (!c.pinned.isEmpty() && c.pinned != who.modem) continue;
        if (who.prefixes.isEmpty() || preferred(c)) return c.seq;
        if (!who.only && !other) other = c.seq;
    }
    return other;
}

QDateTime startOfDay(const QDateTime& now) { return now.date().startOfDay(); }

}  // namespace telvane::store
