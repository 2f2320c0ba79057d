#pragma once
// What the tray shows of the gateway, without any widget: the status text and the tooltip made
// from it, which icon is current, and which menu items may be chosen. The engine's signals feed
// it; the tray view only draws it, so every rule about what is shown can be tested headless.

#include <QMap>
#include <QObject>
#include <QString>
#include <optional>

#include "contracts/Status.h"

namespace telvane::tray {

/// The menu items that can be chosen, as the engine last reported them.
using MenuItems = contracts::MenuState;

/// The notification area shows at most this many characters of a tooltip.
inline constexpr qsizetype kToolTipLength = 63;

/// The first kToolTipLength characters of `status`. A character outside the Basic Multilingual
/// Plane is never cut in half: it is dropped whole when it would straddle the limit. Lines after
/// the first (the network under the status) are kept as they are.
QString toolTipFor(const QString& status);

/// With several modems, the line under the status: "модемы: 3 из 4 в работе", counting a modem
/// in service while its icon says it answers (not "no phone" nor "port not opened").
QString modemsLine(const QMap<QString, contracts::StatusIcon>& icons, int modems);

/// Of `first` (the first modem's icon) and the other modems' icons, the one to show: the first
/// modem's, unless a modem needs a person (its port did not open, its phone does not answer).
contracts::StatusIcon worstIcon(contracts::StatusIcon first,
                                const QMap<QString, contracts::StatusIcon>& icons);

/// The tooltip from the moment the operator chose "Выход" until the program ends: the engine
/// finishes a poll in progress first, which can take a while.
QString finishingToolTip();

/// The notification for a poll: a line for each of messages received, sent and not sent that
/// the poll had; empty when it had none.
QString pollNotification(const contracts::PollTally& tally);

class TrayStatusModel final : public QObject {
    Q_OBJECT
public:
    explicit TrayStatusModel(QObject* parent = nullptr);

    /// The status, and the network line under it once the engine has reported one; while the
    /// program finishes, only that it does.
    QString toolTip() const {
        if (m_finishing) return toolTipFor(finishingToolTip());
        QString text = m_network.isEmpty() ? m_status : m_status + u'\n' + m_network;
        if (m_modems > 1) text += u'\n' + modemsLine(m_modemIcons, m_modems);
        return toolTipFor(text);
    }
    /// The current status icon; none until the engine first sets one (the tray shows the
    /// application's own icon meanwhile).
    std::optional<contracts::StatusIcon> icon() const {
        if (!m_icon) return m_icon;
        return worstIcon(*m_icon, m_modemIcons);
    }
    MenuItems menu() const { return m_menu; }
    /// A modem's state in a word or two, as its icon says; empty before it has one.
    QString modemState(const QString& modem) const;

public slots:
    /// The text is kept whole; only the tooltip is cut.
    void setStatus(const QString& text);
    void setStatusIcon(telvane::contracts::StatusIcon icon);
    void setMenu(const telvane::contracts::MenuState& items);
    /// The network line ("Сеть: зарегистрирован, сигнал 17/31"); the tooltip changes with it.
    void setNetwork(const QString& text);
    /// How many modems the gateway drives; with more than one the tooltip counts them.
    void setModemCount(int modems);
    /// A modem's icon (the first modem's included), for the count and the worst icon.
    void setModemIcon(const QString& modem, telvane::contracts::StatusIcon icon);

    /// The operator chose "Выход"; the tooltip says so until the program ends.
    void noteExitRequested();
    /// A poll ended; notificationDue follows when it received or sent anything.
    void notePoll(const telvane::contracts::PollTally& tally);

signals:
    void statusChanged(const QString& text);
    void toolTipChanged(const QString& toolTip);
    void iconChanged(telvane::contracts::StatusIcon icon);
    void menuChanged(const telvane::contracts::MenuState& items);
    void notificationDue(const QString& text);

private:
    QString m_status;
    QString m_network;
    std::optional<contracts::StatusIcon> m_icon;
    MenuItems m_menu;
    bool m_finishing = false;
    int m_modems = 1;
    QMap<QString, contracts::StatusIcon> m_modemIcons;
};

}  // namespace telvane::tray
