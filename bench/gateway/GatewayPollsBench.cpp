// Runs the gateway as the service assembles it (real port, inbox, outbox, journals) against an
// idle simulated modem with Pacing=fast and Period=1, one tick after another as fast as the
// polls go, and prints the resident memory after 1,000 and 10,000 polls. Memory that the polls
// keep shows as growth between the two lines; what the first polls settle in does not. The heap
// column (bytes in use by malloc) shows growth that is still below a page of RSS.
#include <malloc.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "gateway/EngineAssembly.h"
#include "gateway/ManualTickSource.h"
#include "store/SqliteStore.h"
#include "support/Home.h"

using namespace telvane;

namespace {

/// VmRSS of this process in KB, or -1.
long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (QByteArray line; !(line = status.readLine()).isEmpty();)
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int total = args.size() > 1 ? args[1].toInt() : 10000;
    const int first = std::min(1000, total);

    test::SimulatedModem modem;
    if (!modem.start()) {
        std::fprintf(stderr, "simulated modem: %s\n", qPrintable(modem.errorString()));
        return 1;
    }
    test::Home home;
    home.usePort(modem.linkPath(), {}, "1", test::Pacing::Fast);
    // The folders of an installation (the service's tmpfiles.d makes them).
    for (const char* folder : {"Send", "Receive", "Logs"}) QDir(home.dir.path()).mkdir(folder);

    gateway::ManualTickSource ticks;
    contracts::EngineFigures figures;
    gateway::EngineAssembly parts(
        home.path(QStringLiteral("Telvane.ini")), home.dir.path(), ticks,
        store::SqliteStore::opener(home.path(QStringLiteral("telvane.db"))), figures);
    gateway::GatewayEngine& engine = parts.engine();
    engine.load();
    engine.itmStart_Click();
    if (engine.connection() != gateway::GatewayEngine::Connection::InService) {
        std::fprintf(stderr, "the gateway did not connect to %s\n", qPrintable(modem.linkPath()));
        return 1;
    }

    std::printf("%8s %10s %10s %12s\n", "polls", "RSS KB", "heap KB", "ms per poll");
    int polls = 0;
    QElapsedTimer took;
    took.start();
    qint64 lastMs = 0;
    int lastPolls = 0;
    const auto report = [&] {
        const qint64 ms = took.elapsed();
        std::printf("%8d %10ld %10zu %12.2f\n", polls, residentKb(), mallinfo2().uordblks / 1024,
                    double(ms - lastMs) / (polls - lastPolls));
        std::fflush(stdout);
        lastMs = ms;
        lastPolls = polls;
    };
    QObject::connect(&engine, &gateway::GatewayEngine::pollFinished, [&] {
        if (++polls == first || polls == total) report();
        if (polls == total) app.quit();
    });
    // Ticks from the event loop, as the service's timer gives them, so that whatever a poll
    // leaves to the loop (queued calls, deferred deletes) is done before the next.
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, &engine, [&] {
        if (ticks.isEnabled()) engine.Timer1_Timer();
        if (engine.connection() != gateway::GatewayEngine::Connection::InService) {
            std::fprintf(stderr, "the phone was lost after %d polls\n", polls);
            app.exit(1);
        }
    });
    tick.start();
    const int code = app.exec();
    engine.itmExit_Click();
    engine.Timer1_Timer();
    return code;
}
