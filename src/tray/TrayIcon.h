#pragma once
// One icon with a tooltip in the notification area, and the mouse actions on it as the
// notification codes that the tray menu logic is written against.

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>
#include <optional>

class QAction;
class QMenu;

namespace telvane::tray {

/// The mouse notification codes raised by TrayIcon::OnIcon: the mouse message on the icon minus
/// the mouse-move message, so 0 is a move and 3 a left double-click.
enum MouseButtonCode : qint16 {
    MouseMove = 0,
    LeftButtonDown = 1,
    LeftButtonUp = 2,
    LeftDoubleClick = 3,
    RightButtonDown = 4,
    RightButtonUp = 5,
    RightDoubleClick = 6,
    MiddleButtonDown = 7,
    MiddleButtonUp = 8,
    MiddleDoubleClick = 9,
};

/// The code for an activation reported by the platform, which tells what happened but not
/// which button went down or up: a click is a left button released, a context request is a
/// right button released (the moment the menu opens), a middle click a middle button released.
/// Nothing for an activation the platform cannot name.
std::optional<qint16> mouseButtonFor(QSystemTrayIcon::ActivationReason reason);

class TrayIcon final : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);

    /// Setting the icon or the tooltip only stores it; Add or Modify show it.
    void setIcon(const QIcon& icon) { m_icon = icon; }
    void setToolTipText(const QString& text) { m_toolTipText = text; }

    /// Shows the icon with the stored icon and the first 63 characters of the tooltip.
    void Add();
    /// Refreshes the shown icon and tooltip; no effect before Add or after Delete.
    void Modify();
    /// Removes the icon from the notification area; no effect when it is not there.
    void Delete();
    bool isAdded() const { return m_added; }
    /// A notification beside the icon, through the platform's notifications where it has them;
    /// no effect when the icon is not shown.
    void ShowMessage(const QString& title, const QString& text);

    /// The platform's icon: what the notification area was last given, and where its
    /// activations come from.
    const QSystemTrayIcon& shown() const { return m_tray; }

    /// Raises OnIcon for an activation of the icon.
    void CallEvent(QSystemTrayIcon::ActivationReason reason);

    /// Shows `PopMenu` at `at` (the mouse pointer when missing), with `DefMenu`, when given, as
    /// its default item, drawn bold. Returns at once; the menu's actions do the rest.
    void CallPopupMenu(QMenu& PopMenu, QAction* DefMenu = nullptr,
                       std::optional<QPoint> at = std::nullopt);

signals:
    void OnIcon(qint16 MouseButton);

private:
    QSystemTrayIcon m_tray;
    QIcon m_icon;
    QString m_toolTipText;
    bool m_added = false;
};

}  // namespace telvane::tray
