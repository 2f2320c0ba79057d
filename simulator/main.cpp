// telvane-modem: a simulated GSM modem on a pseudo-terminal, for the demo, the tests and the
// benchmarks.

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QSocketNotifier>
#include <cstdio>

#include "CommandLine.h"
#include "ControlServer.h"
#include "ModemEngine.h"
#include "PtyLink.h"

using namespace telvane::simulator;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}

bool preload(ModemEngine& engine, const std::string& memory, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "telvane-modem: cannot read %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const auto result = engine.store(memory, line.toStdString());
        if (!result.index) {
            std::fprintf(stderr, "telvane-modem: %s:%d: %s\n", qPrintable(path), lineNumber,
                         result.error.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvane-modem"));

    const auto fail = [](const QString& text) {
        std::fprintf(stderr, "telvane-modem: %s\n", qPrintable(text));
        return 2;
    };
    const auto read = readCommandLine(app);
    if (const auto* error = std::get_if<QString>(&read)) return fail(*error);
    const auto& setup = std::get<ModemSetup>(read);

    ModemEngine engine(setup.options);
    if (!setup.mePath.isEmpty() && !preload(engine, "ME", setup.mePath)) return 2;
    if (!setup.smPath.isEmpty() && !preload(engine, "SM", setup.smPath)) return 2;

    PtyLink link(setup.linkPath);
    link.setBaud(setup.baud);
    QObject::connect(&link, &PtyLink::received, &engine, &ModemEngine::input);
    QObject::connect(&engine, &ModemEngine::output, &link, &PtyLink::write);

    ControlServer control(engine, link);
    const QString controlPath = setup.linkPath + QStringLiteral(".ctl");
    if (const QString error = control.listen(controlPath); !error.isEmpty()) {
        return fail(controlPath + ": " + error);
    }
    if (const QString error = link.plug(); !error.isEmpty()) return fail(error);

    if (::pipe(g_signalPipe) != 0) return fail(QStringLiteral("pipe failed"));
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    std::printf("%s\n", qPrintable(link.slavePath()));
    std::fflush(stdout);

    const int status = app.exec();
    link.unplug();
    QLocalServer::removeServer(controlPath);
    return status;
}
