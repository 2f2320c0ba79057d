// telvane: the gateway in the notification area. The engine runs on a thread of its own; this
// thread only shows its status and menu and passes the operator's choices to it.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <cstdio>
#include <deque>
#include <memory>

#include "config/HomeFolder.h"
#include "config/Settings.h"
#include "config/widgets/RussianUi.h"
#include "contracts/Status.h"
#include "gateway/EngineHost.h"
#include "gateway/GatewayEngine.h"
#include "gateway/SingleInstance.h"
#include "http/HttpHost.h"
#include "services/EngineAndWeb.h"
#include "services/HomeOption.h"
#include "services/ModemEngines.h"
#include "services/ProgramLog.h"
#include "services/StartRefusal.h"
#include "services/StoreStart.h"
#include "tray/StatusIcons.h"
#include "tray/TrayStatusModel.h"
#include "tray/frmMain.h"

using namespace telvane;

namespace {

// The engine's texts keep the CR LF line breaks of the message boxes they were written for.
QString forDisplay(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// Shown before the event loop runs, so it waits for its answer.
void showRefusal(const QString& title, const QString& text, const QString& objectName) {
    const std::unique_ptr<QMessageBox> box(
        config::newMessageBox(QMessageBox::Critical, title, forDisplay(text)));
    box->setObjectName(objectName);
    box->exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Telvane"));
    QApplication::setApplicationVersion(QStringLiteral(TELVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("telvane"));
    // The program lives in the tray: closing the last dialog must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(tray::applicationIcon());
    if (!config::installRussianQtTexts(app))
        std::fputs(
            "telvane: Qt's Russian texts are not installed (qt6-translations-l10n); the "
            "folder chooser speaks English\n",
            stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Telvane SMS gateway in the notification area: receives SMS into the receive folder and "
        "sends the files of the send folder through a GSM phone or modem. Exit status 3: another "
        "gateway already uses this home folder; 73: its lock file could not be written."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption homeOption = services::homeOption();
    parser.addOption(homeOption);
    parser.process(app);

    const QString home = services::prepareHome(parser.value(homeOption));
    const QString iniPath = config::HomeFolder::iniPath(home);

    const gateway::SingleInstance instance(home);
    if (const auto refused = services::startRefusal(instance)) {
        showRefusal(refused->title.isEmpty() ? tray::frmMain::applicationTitle() : refused->title,
                    refused->text, refused->objectName);
        return refused->exitCode;
    }

    tray::TrayStatusModel model;
    model.setStatus(contracts::makeStatus(contracts::StatusId::Idle).text);
    tray::frmMain window(model, config::Settings(iniPath, home), QStringLiteral(TELVANE_VERSION));

    services::ProgramLog log(config::Settings(iniPath, home));
    const services::PreparedStore prepared = services::prepareStore(
        iniPath, home,
        [](const QString& line) { std::fputs((line + u'\n').toUtf8().constData(), stderr); },
        log.writer());
    // Counted by the engine, read by the HTTP interface: made here, for both. Static: an engine
    // that does not end in time is left running to the end of the process, still counting.
    static std::deque<contracts::EngineFigures> figures;
    QStringList problems;
    services::ModemEngines engines(iniPath, home, prepared.open, figures, &problems);
    for (const QString& problem : problems) (void)log.writer().write({problem});
    // The window shows the first modem; the others come up by themselves and go with it.
    gateway::EngineHost& host = engines.first();
    model.setModemCount(int(engines.size()));
    QObject::connect(&host, &gateway::EngineHost::statusIconChanged, &model,
                     [&model, first = engines.nameOf(0)](contracts::StatusIcon icon) {
                         model.setModemIcon(first, icon);
                     });
    QObject::connect(&engines, &services::ModemEngines::otherIconChanged, &model,
                     &tray::TrayStatusModel::setModemIcon);
    QObject::connect(&host, &gateway::EngineHost::statusChanged, &model,
                     &tray::TrayStatusModel::setStatus);
    QObject::connect(&host, &gateway::EngineHost::statusIconChanged, &model,
                     &tray::TrayStatusModel::setStatusIcon);
    QObject::connect(&host, &gateway::EngineHost::menuChanged, &model,
                     &tray::TrayStatusModel::setMenu);
    QObject::connect(&host, &gateway::EngineHost::networkChanged, &model,
                     &tray::TrayStatusModel::setNetwork);
    QObject::connect(&host, &gateway::EngineHost::pollFinished, &model,
                     &tray::TrayStatusModel::notePoll);
    QObject::connect(&host, &gateway::EngineHost::startFailed, &window,
                     &tray::frmMain::showStartFailure);
    QObject::connect(&engines, &services::ModemEngines::allFinished, &app, [&window] {
        window.tearDown();
        QCoreApplication::quit();
    });
    QObject::connect(&window, &tray::frmMain::startRequested, &engines,
                     &services::ModemEngines::requestStart);
    QObject::connect(&window, &tray::frmMain::exitRequested, &engines,
                     &services::ModemEngines::requestExit);

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::fputs("telvane: no notification area yet; the icon appears when one starts\n", stderr);
    }
    // The same interface as the service's, when [Http] Listen is set; its line goes to stderr
    // and, when refused, to "Log.txt".
    http::HttpHost web(iniPath, home, prepared.open, engines.figures(), log.writer());
    const auto bell = services::joinEngineAndWeb(engines, web, prepared.sharedUrl);
    QObject::connect(&web, &http::HttpHost::announced, &app, [](const QString& line) {
        std::fputs((line + u'\n').toUtf8().constData(), stderr);
    });
    web.launch();
    engines.launch();
    window.load();
    const int status = QApplication::exec();
    // Ended otherwise than by "Выход" (the session ends): the host's destructor lets a poll in
    // progress finish, within a limit.
    if (engines.anyRunning())
        std::fputs("telvane: the gateway finishes the poll in progress before it ends\n", stderr);
    return status;
}
