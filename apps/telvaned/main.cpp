// telvaned: the gateway as a headless service. It starts, behaves as if Start had been chosen,
// and prints each status change as one line, time then text.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <deque>
#include <memory>

#include "SignalWatcher.h"
#include "config/HomeFolder.h"
#include "config/Settings.h"
#include "gateway/EngineAssembly.h"
#include "gateway/EngineHost.h"
#include "gateway/GatewayEngine.h"
#include "gateway/ManualTickSource.h"
#include "gateway/SingleInstance.h"
#include "http/HttpHost.h"
#include "services/EngineAndWeb.h"
#include "services/HomeOption.h"
#include "services/ModemEngines.h"
#include "services/ProgramLog.h"
#include "services/StartRefusal.h"
#include "services/StoreStart.h"

using namespace telvane;

namespace {

// With --once; services::ExitCode says why the service did not start at all.
enum OnceExitCode { Polled = 0, PortNotOpened = 1, PhoneSilent = 2 };

void printLine(std::FILE* stream, const QString& text) {
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fflush(stream);
}

// The engine reports a status each time it sets one, often the same text again: a line is
// printed only when the text changes. With several modems each line starts with its modem's
// name.
void printModemStatus(const QString& modem, const QString& text) {
    static QHash<QString, QString> last;
    if (const auto known = last.constFind(modem); known != last.constEnd() && *known == text)
        return;
    last.insert(modem, text);
    printLine(stdout,
              QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) +
                  (modem.isEmpty() ? QString() : modem + QStringLiteral(": ")) + text);
}

void printStatus(const QString& text) { printModemStatus({}, text); }

void printStartFailure(const contracts::StartFailure& failure) {
    if (!failure.portProblem.isEmpty()) printLine(stderr, failure.portProblem);
    printLine(stderr, contracts::startFailureTitle() + QStringLiteral(": ") +
                          contracts::startFailureText(failure.outcome));
}

// Connects, runs exactly one poll on this thread, and ends. With several modems, the first one
// polls, under its name among them.
int runOnce(const QString& iniPath, const QString& home, const store::StoreOpener& openStore) {
    gateway::ManualTickSource ticks;
    contracts::EngineFigures figures;
    const QString first = config::modemPlaces(config::Settings(iniPath, home)).front().id;
    gateway::EngineAssembly parts(iniPath, home, ticks, openStore, figures, {first, {}, nullptr});
    gateway::GatewayEngine& engine = parts.engine();

    QObject::connect(&engine, &gateway::GatewayEngine::statusChanged, &printStatus);
    QObject::connect(&engine, &gateway::GatewayEngine::networkChanged, &printStatus);
    QObject::connect(&engine, &gateway::GatewayEngine::startFailed, &printStartFailure);
    engine.load();
    switch (engine.runOnce()) {
        case contracts::ConnectOutcome::Connected:
            return Polled;
        case contracts::ConnectOutcome::PortNotOpened:
            return PortNotOpened;
        case contracts::ConnectOutcome::PhoneSilent:
            return PhoneSilent;
    }
    return Polled;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // A thread a modem: the C library would give each its own heap, most of it idle. A few shared
    // ones keep a pool's memory to what it holds; the engines seldom allocate at the same moment.
    mallopt(M_ARENA_MAX, 4);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Telvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Telvane SMS gateway service: receives SMS into the receive folder and sends the "
        "files of the send folder through a GSM phone or modem.\n"
        "With several modems, --once polls the first one. "
        "Exit status with --once: 0 the poll ran, 1 the port could not be opened, 2 the phone "
        "did not answer; 3 another gateway already uses this home folder; 73 its lock file "
        "could not be written (a full disk)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption homeOption = services::homeOption();
    const QCommandLineOption onceOption(
        QStringLiteral("once"), QStringLiteral("Connect, run exactly one poll, then exit."));
    parser.addOption(homeOption);
    parser.addOption(onceOption);
    parser.process(app);

    const QString home = services::prepareHome(parser.value(homeOption));
    const QString iniPath = config::HomeFolder::iniPath(home);

    const gateway::SingleInstance instance(home);
    if (const auto refused = services::startRefusal(instance)) {
        printLine(stderr, refused->line);
        return refused->exitCode;
    }

    services::ProgramLog log(config::Settings(iniPath, home));
    const services::PreparedStore prepared = services::prepareStore(
        iniPath, home, [](const QString& line) { printLine(stderr, line); }, log.writer());
    if (parser.isSet(onceOption)) return runOnce(iniPath, home, prepared.open);

    // Counted by the engines, read by the HTTP interface: made here, for both. Static: an engine
    // that does not end in time is left running to the end of the process, still counting.
    static std::deque<contracts::EngineFigures> figures;
    QStringList problems;
    services::ModemEngines engines(iniPath, home, prepared.open, figures, &problems);
    for (const QString& problem : problems) {
        printLine(stderr, problem);
        (void)log.writer().write({problem});
    }
    gateway::EngineHost& host = engines.first();
    const QString firstName = engines.nameOf(0);
    const auto printFirst = [firstName](const QString& text) { printModemStatus(firstName, text); };
    QObject::connect(&host, &gateway::EngineHost::statusChanged, &app, printFirst);
    QObject::connect(&host, &gateway::EngineHost::networkChanged, &app, printFirst);
    QObject::connect(&engines, &services::ModemEngines::otherStatusChanged, &printModemStatus);
    QObject::connect(&engines, &services::ModemEngines::otherStartFailed,
                     [](const QString& modem, const contracts::StartFailure& failure) {
                         if (!failure.portProblem.isEmpty())
                             printLine(stderr, modem + QStringLiteral(": ") + failure.portProblem);
                         printLine(stderr, modem + QStringLiteral(": ") +
                                               contracts::startFailureText(failure.outcome));
                     });
    // A service must come up when the modem is plugged in later: a failed start is retried once
    // per poll period.
    QObject::connect(&host, &gateway::EngineHost::startFailed,
                     [&host](const contracts::StartFailure& failure) {
                         printStartFailure(failure);
                         host.requestStartAfter(std::max(1, failure.pollPeriodSeconds) * 1000);
                     });
    QObject::connect(&engines, &services::ModemEngines::allFinished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &engines,
                     &services::ModemEngines::requestExit);
    http::HttpHost web(iniPath, home, prepared.open, engines.figures(), log.writer());
    const auto bell = services::joinEngineAndWeb(engines, web, prepared.sharedUrl);
    // Printed on this thread, in turn with the engine's lines.
    QObject::connect(&web, &http::HttpHost::announced, &app, &printStatus);
    printLine(stderr, QStringLiteral("Home folder: ") + QDir::toNativeSeparators(home));
    web.launch();
    engines.launch();
    engines.requestStart();
    return app.exec();
}
