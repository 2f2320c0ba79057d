#include "tray/frmMain.h"

#include <QAction>
#include <QLoggingCategory>
#include <QMessageBox>

#include "config/widgets/RussianUi.h"
#include "config/widgets/frmOptions.h"
#include "tray/AboutBox.h"
#include "tray/StatusIcons.h"

Q_LOGGING_CATEGORY(lcTrayView, "telvane.tray.view", QtInfoMsg)

namespace telvane::tray {

QString frmMain::applicationTitle() { return QStringLiteral("Telvane"); }

frmMain::frmMain(TrayStatusModel& model, config::Settings settings, QString version,
                 config::ChooseFolder chooseFolder, QObject* parent)
    : QObject(parent),
      m_model(model),
      m_settings(std::move(settings)),
      m_version(std::move(version)),
      m_chooseFolder(std::move(chooseFolder)),
      m_windowIcon(iconFor(model.icon())) {
    m_menu.setObjectName(QStringLiteral("mnuMain"));
    m_menu.setTitle(QStringLiteral("Меню"));
    m_menu.setWindowTitle(QStringLiteral("Меню"));
    m_itmStart = m_menu.addAction(QStringLiteral("Старт"));
    m_itmStart->setObjectName(QStringLiteral("itmStart"));
    m_itmOptions = m_menu.addAction(QStringLiteral("Настройка"));
    m_itmOptions->setObjectName(QStringLiteral("itmOptions"));
    m_itmExit = m_menu.addAction(QStringLiteral("Выход"));
    m_itmExit->setObjectName(QStringLiteral("itmExit"));
    m_itmAbout = m_menu.addAction(QStringLiteral("О программе"));
    m_itmAbout->setObjectName(QStringLiteral("itmAbout"));
    m_menu.setDefaultAction(m_itmStart);
    applyMenu(model.menu());

    connect(m_itmStart, &QAction::triggered, this, &frmMain::startRequested);
    connect(m_itmOptions, &QAction::triggered, this, &frmMain::itmOptions_Click);
    connect(m_itmExit, &QAction::triggered, this, [this] {
        m_model.noteExitRequested();
        emit exitRequested();
    });
    connect(m_itmAbout, &QAction::triggered, this, &frmMain::itmAbout_Click);
    connect(&m_tray, &TrayIcon::OnIcon, this, &frmMain::cTray_OnIcon);
    connect(&model, &TrayStatusModel::toolTipChanged, this, &frmMain::showToolTip);
    connect(&model, &TrayStatusModel::iconChanged, this, &frmMain::showIcon);
    connect(&model, &TrayStatusModel::menuChanged, this, &frmMain::applyMenu);
    connect(&model, &TrayStatusModel::notificationDue, this, &frmMain::notify);
}

frmMain::~frmMain() { tearDown(); }

void frmMain::load() {
    m_tray.setToolTipText(m_model.toolTip());
    m_tray.setIcon(m_windowIcon);
    m_tray.Add();
}

void frmMain::tearDown() {
    m_tray.Delete();
    m_menu.close();
    for (const QPointer<QWidget>& box : std::as_const(m_boxes))
        if (box) box->close();
    m_boxes.clear();
    if (m_options) m_options->close();
    if (m_about) m_about->close();
}

void frmMain::showToolTip(const QString& text) {
    m_tray.setToolTipText(text);
    m_tray.Modify();
}

void frmMain::showIcon(contracts::StatusIcon icon) {
    m_windowIcon = iconFor(icon);
    m_tray.setIcon(m_windowIcon);
    m_tray.Modify();
}

void frmMain::applyMenu(const MenuItems& items) {
    m_itmStart->setEnabled(items.start);
    m_itmOptions->setEnabled(items.options);
    m_itmAbout->setEnabled(items.about);
}

void frmMain::notify(const QString& text) {
    // Read at each use, as the other settings are: a change in Options counts at once.
    if (!m_settings.equalsOne(config::setting::Notify)) return;
    qCInfo(lcTrayView).noquote() << "notification:"
                                 << QString(text).replace(u'\n', QStringLiteral("; "));
    m_tray.ShowMessage(applicationTitle(), text);
}

void frmMain::cTray_OnIcon(qint16 MouseButton) {
    switch (MouseButton) {
        case LeftDoubleClick:
            showMessage(config::newMessageBox(QMessageBox::NoIcon, applicationTitle(),
                                              QStringLiteral("LeftDoubleClick on TrayIcon")));
            break;
        case RightButtonUp:
            m_tray.CallPopupMenu(m_menu, m_itmStart);
            break;
        default:
            break;
    }
}

void frmMain::showStartFailure(const contracts::StartFailure& failure) {
    QMessageBox* general =
        config::newMessageBox(QMessageBox::Critical, contracts::startFailureTitle(),
                              contracts::startFailureText(failure.outcome));
    if (failure.portProblem.isEmpty()) return showMessage(general);
    QMessageBox* port =
        config::newMessageBox(QMessageBox::NoIcon, applicationTitle(), failure.portProblem);
    connect(port, &QDialog::finished, this, [this, general] {
        // Closed by the tear-down: the program is ending, nothing more to say.
        if (m_tray.isAdded()) return showMessage(general);
        delete general;
    });
    showMessage(port);
}

void frmMain::showMessage(QMessageBox* box) {
    box->setAttribute(Qt::WA_DeleteOnClose);
    // A message box is modal by default; this one must leave the menu usable.
    box->setWindowModality(Qt::NonModal);
    box->setWindowIcon(m_windowIcon);
    m_boxes.removeAll(nullptr);
    m_boxes.append(box);
    box->show();
    box->raise();
    box->activateWindow();
}

void frmMain::itmOptions_Click() {
    // One dialog at a time: choosing the item again brings the open one forward.
    if (!m_options) {
        m_options = new config::frmOptions(m_settings, m_windowIcon, m_chooseFolder);
        m_options->setAttribute(Qt::WA_DeleteOnClose);
        m_options->showModemStates(
            [this](const QString& modem) { return m_model.modemState(modem); });
    }
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
}

void frmMain::itmAbout_Click() {
    if (!m_about) {
        m_about = new AboutBox(m_version, m_windowIcon);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

}  // namespace telvane::tray
