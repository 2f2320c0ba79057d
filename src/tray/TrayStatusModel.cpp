#include "tray/TrayStatusModel.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTray, "telvane.tray", QtInfoMsg)

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

TrayStatusModel::TrayStatusModel(QObject* parent) : QObject(parent) {}

void TrayStatusModel::SetStatus(const QString& text) {
    m_status = text;
    emit statusChanged(text);
}

void TrayStatusModel::setNetwork(const QString& text) {
    m_network = text;
    emit statusChanged(m_status);
}

void TrayStatusModel::SetStatusIcon(int index) {
    if (index < kFirstStatusIcon || index > kLastStatusIcon) {
        qCWarning(lcTray) << "no status icon" << index << "- the icon stays as it is";
        return;
    }
    m_icon = index;
    emit iconChanged(index);
}

void TrayStatusModel::setMenu(const MenuItems& items) {
    if (items == m_menu) return;
    m_menu = items;
    emit menuChanged(items);
}

}  // namespace telvane::tray
