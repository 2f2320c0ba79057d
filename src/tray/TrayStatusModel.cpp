#include "tray/TrayStatusModel.h"

#include <QStringList>
#include <algorithm>

namespace telvane::tray {

QString toolTipFor(const QString& status) {
    const qsizetype lineEnd = status.indexOf(u'\n');
    const QString first = lineEnd < 0 ? status : status.left(lineEnd);
    const QString rest = lineEnd < 0 ? QString() : status.mid(lineEnd);
    if (first.size() <= kToolTipLength) return status;
    qsizetype length = kToolTipLength;
    if (first.at(length - 1).isHighSurrogate()) --length;
    return first.left(length) + rest;
}

QString finishingToolTip() { return QStringLiteral("Завершение после опроса..."); }

QString pollNotification(const contracts::PollTally& tally) {
    QStringList lines;
    if (tally.received > 0) lines << QStringLiteral("Принято сообщений: %1").arg(tally.received);
    if (tally.sent > 0) lines << QStringLiteral("Отправлено: %1").arg(tally.sent);
    if (tally.notSent > 0)
        lines << QStringLiteral("Не отправлено: %1 — см. Log.txt").arg(tally.notSent);
    return lines.join(u'\n');
}

namespace {

// Needs a person: the port did not open, or the phone does not answer.
int urgency(contracts::StatusIcon icon) {
    switch (icon) {
        case contracts::StatusIcon::PortFailed:
            return 2;
        case contracts::StatusIcon::NoPhone:
            return 1;
        default:
            return 0;
    }
}

}  // namespace

QString modemsLine(const QMap<QString, contracts::StatusIcon>& icons, int modems) {
    const auto working = std::count_if(
        icons.begin(), icons.end(), [](contracts::StatusIcon icon) { return urgency(icon) == 0; });
    return QStringLiteral("модемы: %1 из %2 в работе").arg(working).arg(modems);
}

contracts::StatusIcon worstIcon(contracts::StatusIcon first,
                                const QMap<QString, contracts::StatusIcon>& icons) {
    contracts::StatusIcon shown = first;
    for (contracts::StatusIcon icon : icons)
        if (urgency(icon) > urgency(shown)) shown = icon;
    return shown;
}

TrayStatusModel::TrayStatusModel(QObject* parent) : QObject(parent) {}

QString TrayStatusModel::modemState(const QString& modem) const {
    const auto icon = m_modemIcons.constFind(modem);
    if (icon == m_modemIcons.constEnd()) return {};
    switch (urgency(*icon)) {
        case 2:
            return QStringLiteral("порт не открыт");
        case 1:
            return QStringLiteral("нет связи");
        default:
            return QStringLiteral("в работе");
    }
}

void TrayStatusModel::setModemCount(int modems) {
    m_modems = modems;
    emit toolTipChanged(toolTip());
}

void TrayStatusModel::setModemIcon(const QString& modem, contracts::StatusIcon icon) {
    const std::optional<contracts::StatusIcon> before = this->icon();
    m_modemIcons.insert(modem, icon);
    if (m_modems > 1) emit toolTipChanged(toolTip());
    if (const auto now = this->icon(); now && now != before) emit iconChanged(*now);
}

void TrayStatusModel::setStatus(const QString& text) {
    m_status = text;
    emit statusChanged(text);
    emit toolTipChanged(toolTip());
}

void TrayStatusModel::setNetwork(const QString& text) {
    m_network = text;
    emit toolTipChanged(toolTip());
}

void TrayStatusModel::setStatusIcon(contracts::StatusIcon icon) {
    m_icon = icon;
    emit iconChanged(*this->icon());
}

void TrayStatusModel::noteExitRequested() {
    if (m_finishing) return;
    m_finishing = true;
    emit toolTipChanged(toolTip());
}

void TrayStatusModel::notePoll(const contracts::PollTally& tally) {
    const QString text = pollNotification(tally);
    if (!text.isEmpty()) emit notificationDue(text);
}

void TrayStatusModel::setMenu(const MenuItems& items) {
    if (items == m_menu) return;
    m_menu = items;
    emit menuChanged(items);
}

}  // namespace telvane::tray
