#pragma once
// The tray's view: the icon with its tooltip, the popup menu "Меню", the message boxes and the
// two dialogs the menu opens. It only shows what the status model holds and turns the
// operator's choices into commands for the engine; it never waits for the engine.

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include "config/Settings.h"
#include "config/widgets/FolderChooser.h"
#include "config/widgets/frmOptions.h"
#include "contracts/StartFailure.h"
#include "tray/AboutBox.h"
#include "tray/TrayIcon.h"
#include "tray/TrayStatusModel.h"

class QAction;
class QMessageBox;
class QWidget;

namespace telvane::tray {

class frmMain final : public QObject {
    Q_OBJECT
public:
    frmMain(TrayStatusModel& model, config::Settings settings, QString version,
            config::ChooseFolder chooseFolder = config::chooseFolderWithDialog,
            QObject* parent = nullptr);
    ~frmMain() override;

    /// The title of the message boxes.
    static QString applicationTitle();

    /// Puts the icon into the notification area with the current status as its tooltip.
    void load();
    /// Removes the icon and closes every window of the tray.
    void tearDown();

    TrayIcon& cTray() { return m_tray; }
    QMenu& mnuMain() { return m_menu; }
    QAction* itmStart() const { return m_itmStart; }
    QAction* itmOptions() const { return m_itmOptions; }
    QAction* itmExit() const { return m_itmExit; }
    QAction* itmAbout() const { return m_itmAbout; }
    /// The icon the tray shows: the application's until the first status icon.
    QIcon windowIcon() const { return m_windowIcon; }
    /// The open options dialog and about box, or null.
    config::frmOptions* optionsDialog() const { return m_options; }
    AboutBox* aboutBox() const { return m_about; }

public slots:
    void cTray_OnIcon(qint16 MouseButton);
    /// Start failed: "Ошибка соединения" with the critical icon. A port that opened but refused
    /// its line settings is named first, in a box of its own (the application title, no icon);
    /// the general box follows once that one is answered, so that neither hides the other.
    void showStartFailure(const telvane::contracts::StartFailure& failure);

    void itmOptions_Click();
    void itmAbout_Click();

signals:
    void startRequested();
    void exitRequested();

private:
    void showToolTip(const QString& text);
    void showIcon(contracts::StatusIcon icon);
    void applyMenu(const MenuItems& items);
    /// A poll's notification, when [Options] Notify is 1.
    void notify(const QString& text);
    /// Shows a message box without blocking: the engine keeps reporting while it is open.
    void showMessage(QMessageBox* box);

    TrayStatusModel& m_model;
    config::Settings m_settings;
    QString m_version;
    config::ChooseFolder m_chooseFolder;
    TrayIcon m_tray;
    QMenu m_menu;
    QAction* m_itmStart = nullptr;
    QAction* m_itmOptions = nullptr;
    QAction* m_itmExit = nullptr;
    QAction* m_itmAbout = nullptr;
    QIcon m_windowIcon;
    QPointer<config::frmOptions> m_options;
    QPointer<AboutBox> m_about;
    QList<QPointer<QWidget>> m_boxes;
};

}  // namespace telvane::tray
