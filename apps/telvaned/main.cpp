// telvaned: the gateway as a headless service. It starts, behaves as if Start had been chosen,
// and prints each status change as one line, time then text.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <cstdio>
#include <memory>

#include "SignalWatcher.h"
#include "services/PollServiceFactory.h"
#include "config/HomeFolder.h"
#include "config/Settings.h"
#include "gateway/EngineHost.h"
#include "gateway/GatewayEngine.h"
#include "gateway/ManualTickSource.h"
#include "gateway/SingleInstance.h"
#include "phone/ARCComm.h"
#include "phone/AtExchange.h"
#include "phone/Clock.h"

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
    printLine(stderr, gateway::startFailureTitle() + QStringLiteral(": ") + gateway::startFailureText(failure));
}

// Connects, runs exactly one poll on this thread, and ends.
int runOnce(const QString& iniPath, const QString& home) {
    config::Settings settings(iniPath, home);
    phone::SystemClock clock;
    phone::QtEventPump pump;
    phone::ARCComm port;
    gateway::ManualTickSource ticks;
    gateway::SystemWallClock wallClock;
    const auto inbox = services::makeInboxRetriever();
    const auto outbox = services::makeOutboxScanner();

    struct Forwarder final : gateway::StatusSink {
        gateway::GatewayEngine* engine = nullptr;
        void SetStatus(const gateway::Status& s) override { engine->SetStatus(s); }
        void SetStatusIcon(gateway::StatusIcon i) override { engine->SetStatusIcon(i); }
        const gateway::Status& currentStatus() const override { return engine->currentStatus(); }
    } forwarder;
    phone::AtExchange exchange(port, settings, forwarder, clock, pump);
    gateway::GatewayEngine engine({exchange, settings, clock, pump, ticks, *inbox, *outbox, wallClock});
    forwarder.engine = &engine;

    QObject::connect(&engine, &gateway::GatewayEngine::statusChanged, &printStatus);
    QObject::connect(&port, &phone::CommPort::configurationFailed,
                     [](const QString& message) { printLine(stderr, message); });
    QObject::connect(&engine, &gateway::GatewayEngine::startFailed, &printStartFailure);
    engine.load();
    switch (engine.runOnce()) {
        case gateway::GatewayEngine::ConnectResult::Connected: return Polled;
        case gateway::GatewayEngine::ConnectResult::PortNotOpened: return PortNotOpened;
        case gateway::GatewayEngine::ConnectResult::PhoneSilent: return PhoneSilent;
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
    const QCommandLineOption homeOption(
        QStringLiteral("home"),
        QStringLiteral("Folder of Telvane.ini, the part files and the default Send, Receive and "
                       "Logs folders."),
        QStringLiteral("DIR"));
    const QCommandLineOption onceOption(QStringLiteral("once"),
                                        QStringLiteral("Connect, run exactly one poll, then exit."));
    parser.addOption(homeOption);
    parser.addOption(onceOption);
    parser.process(app);

    const QString home = config::HomeFolder::resolve(parser.value(homeOption),
                                                     QCoreApplication::applicationDirPath());
    QDir().mkpath(home);
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
