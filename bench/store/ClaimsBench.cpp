// Prints how many messages a second go through the store when modems are instant: each modem a
// thread with its own connection, as in a gateway, half of them named as one gateway and half
// as another, each message enqueued, claimed, marked submitted and marked sent. On SQLite (this
// machine's disk, every commit synced) and on a PostgreSQL server of its own (started as the
// tests start theirs, fsync off: the figure is the store's work, not the disk's).
//
//   claims_bench [--messages N]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "BenchStore.h"
#include "store/PostgresStore.h"
#include "store/SqliteStore.h"
#include "support/PostgresServer.h"

using namespace telvane::store;

namespace {

using bench::openOrExit;

OutgoingMessage queued(int i) { return bench::numbered(i, QDateTime::currentDateTime()); }

/// Messages a second from enqueueing `count` to the last one marked sent, by `modems` threads.
double throughput(const StoreOpener& open, int modems, int count) {
    QElapsedTimer clock;
    clock.start();
    {
        auto store = openOrExit(open);
        for (int i = 0; i < count; ++i)
            if (!store->addOutgoing(queued(i))) std::exit(1);
    }
    std::atomic<int> sent = 0;
    std::vector<std::thread> threads;
    for (int n = 0; n < modems; ++n)
        threads.emplace_back([&, n] {
            auto store = openOrExit(open);
            Claimant who;
            who.host = QStringLiteral("host-%1").arg(n % 2);
            who.modem = QStringLiteral("m%1").arg(n);
            for (;;) {
                const QDateTime now = QDateTime::currentDateTime();
                auto claimed = store->claimNext(who, now);
                if (!claimed) std::exit(1);
                if (!claimed.value()) return;
                OutgoingMessage m = std::move(*claimed.value());
                m.parts[0].state = PartState::Submitted;
                m.state = OutgoingState::Submitted;
                if (!store->update(m)) std::exit(1);
                m.parts[0].state = PartState::Confirmed;
                m.parts[0].reference = 1;
                m.state = OutgoingState::Sent;
                m.sentAt = now;
                if (!store->update(m)) std::exit(1);
                ++sent;
            }
        });
    for (std::thread& t : threads) t.join();
    if (sent != count) std::fprintf(stderr, "sent %d of %d\n", sent.load(), count);
    return count * 1000.0 / double(std::max<qint64>(clock.elapsed(), 1));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--messages"));
    const int count = at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : 2000;
    telvane::test::PostgresServer server;
    if (!server.ok()) {
        std::fprintf(stderr, "PostgreSQL: %s\n", qPrintable(server.error()));
        return 1;
    }
    std::printf("%d messages each, enqueue + claim + submitted + sent, messages a second\n", count);
    std::printf("%8s %12s %12s\n", "modems", "sqlite", "postgresql");
    for (const int modems : {1, 2, 4, 8, 16, 64}) {
        QTemporaryDir folder;
        const double sqlite = throughput(
            SqliteStore::opener(folder.filePath(QStringLiteral("telvane.db"))), modems, count);
        const double postgres =
            throughput(PostgresStore::opener(server.newDatabase()), modems, count);
        std::printf("%8d %12.0f %12.0f\n", modems, sqlite, postgres);
    }
    return 0;
}
