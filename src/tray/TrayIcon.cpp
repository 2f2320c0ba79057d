#include "tray/TrayIcon.h"

#include <QCursor>
#include <QMenu>

#include "tray/TrayStatusModel.h"

namespace telvane::tray {

std::optional<qint16> mouseButtonFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return LeftButtonUp;
        case QSystemTrayIcon::DoubleClick:
            return LeftDoubleClick;
        case QSystemTrayIcon::Context:
            return RightButtonUp;
        case QSystemTrayIcon::MiddleClick:
            return MiddleButtonUp;
        case QSystemTrayIcon::Unknown:
            break;
    }
    return std::nullopt;
}

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TrayIcon::CallEvent);
}

void TrayIcon::Add() {
    m_tray.setIcon(m_icon);
    m_tray.setToolTip(toolTipFor(m_toolTipText));
    m_tray.show();
    m_added = true;
}

void TrayIcon::Modify() {
    if (!m_added) return;
    // Changing the icon in place, instead of removing and adding it, keeps its place in the
    // notification area and does not make it flicker.
    m_tray.setIcon(m_icon);
    m_tray.setToolTip(toolTipFor(m_toolTipText));
}

void TrayIcon::Delete() {
    if (!m_added) return;
    m_tray.hide();
    m_added = false;
}

void TrayIcon::ShowMessage(const QString& title, const QString& text) {
    if (m_added) m_tray.showMessage(title, text, m_icon);
}

void TrayIcon::CallEvent(QSystemTrayIcon::ActivationReason reason) {
    if (const std::optional<qint16> code = mouseButtonFor(reason)) emit OnIcon(*code);
}

void TrayIcon::CallPopupMenu(QMenu& PopMenu, QAction* DefMenu, std::optional<QPoint> at) {
    if (DefMenu) PopMenu.setDefaultAction(DefMenu);
    PopMenu.popup(at.value_or(QCursor::pos()));
    // A menu of an application without a visible window gets no keyboard focus on some window
    // systems until it is made the active window.
    PopMenu.activateWindow();
}

}  // namespace telvane::tray
