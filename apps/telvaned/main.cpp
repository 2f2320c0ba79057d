// telvaned: the gateway as a headless service. It starts, behaves as if Start had been chosen,
// and prints each status change as one line, time then text.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <cstdio>
#include <memory>

#include "SignalWatcher.h"
#include "config/HomeFolder.h"
#include "gateway/EngineAssembly.h"
#include "gateway/EngineHost.h"
#include "gateway/GatewayEngine.h"
#include "gateway/ManualTickSource.h"
#include "gateway/SingleInstance.h"
#include "phone/ARCComm.h"
#include "services/HomeOption.h"
#include "services/PollServiceFactory.h"

using namespace telvane;

namespace {

enum ExitCode { Polled = 0, PortNotOpened = 1, PhoneSilent = 2, AlreadyRunning = 3, BadUsage = 64 };

void printLine(std::FILE* stream, const QString& text) {
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fflush(stream);
}

void printStatus(const QString& text) {
    printLine(stdout,
              QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) + text);
}

void printStartFailure(gateway::StartFailure failure) {
    printLine(stderr, gateway::startFailureTitle() + QStringLiteral(": ") +
                          gateway::startFailureText(failure));
}

// Connects, runs exactly one poll on this thread, and ends.
int runOnce(const QString& iniPath, const QString& home) {
    gateway::ManualTickSource ticks;
    const auto inbox = services::makeInboxRetriever();
    const auto outbox = services::makeOutboxScanner();
    gateway::EngineAssembly parts(iniPath, home, ticks, *inbox, *outbox);
    gateway::GatewayEngine& engine = parts.engine();
    phone::ARCComm& port = parts.port();

    QObject::connect(&engine, &gateway::GatewayEngine::statusChanged, &printStatus);
    QObject::connect(&port, &phone::CommPort::configurationFailed,
                     [](const QString& message) { printLine(stderr, message); });
    QObject::connect(&engine, &gateway::GatewayEngine::startFailed, &printStartFailure);
    engine.load();
    switch (engine.runOnce()) {
        case gateway::GatewayEngine::ConnectResult::Connected:
            return Polled;
        case gateway::GatewayEngine::ConnectResult::PortNotOpened:
            return PortNotOpened;
        case gateway::GatewayEngine::ConnectResult::PhoneSilent:
            return PhoneSilent;
    }
    return Polled;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Telvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Telvane SMS gateway service: receives SMS into the receive folder and sends the "
        "files of the send folder through a GSM phone or modem.\n"
        "Exit status with --once: 0 the poll ran, 1 the port could not be opened, 2 the phone "
        "did not answer; 3 another gateway already uses this home folder."));
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

    gateway::SingleInstance instance(home);
    if (!instance.isFirst()) {
        printLine(stderr, gateway::SingleInstance::warningTitle() + QStringLiteral(": ") +
                              gateway::SingleInstance::warningText());
        return AlreadyRunning;
    }

    if (parser.isSet(onceOption)) return runOnce(iniPath, home);

    gateway::EngineHost host(iniPath, home, services::makeInboxRetriever(),
                             services::makeOutboxScanner());
    QObject::connect(&host, &gateway::EngineHost::statusChanged, &printStatus);
    QObject::connect(&host, &gateway::EngineHost::portConfigurationFailed,
                     [](const QString& message) { printLine(stderr, message); });
    // A service must come up when the modem is plugged in later: a failed start is retried once
    // per poll period.
    QObject::connect(&host, &gateway::EngineHost::startFailed,
                     [&host](gateway::StartFailure failure, int pollPeriodSeconds) {
                         printStartFailure(failure);
                         host.requestStartAfter(std::max(1, pollPeriodSeconds) * 1000);
                     });
    QObject::connect(&host, &gateway::EngineHost::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &host,
                     &gateway::EngineHost::requestExit);
    printLine(stderr, QStringLiteral("Home folder: ") + QDir::toNativeSeparators(home));
    host.launch();
    host.requestStart();
    return app.exec();
}
