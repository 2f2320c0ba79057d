// Prints what the store costs where the gateway leans on it, on this machine's disk with every
// commit synced (synchronous=FULL): the 10 newest of 100,000 outgoing messages and an inbox
// page after a cursor among 100,000 received ones, the bytes written to drain 8,000 webhook
// events, the store's share of sending one message (enqueue, claim, submitted, sent) and of
// storing one received message, and the database's size.
//
//   store_bench [--rows N] [--events N] [--messages N]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchStore.h"
#include "store/DuplicateKeys.h"
#include "store/SqliteStore.h"

using namespace telvane::store;

namespace {

const QDateTime kNow = QDateTime::currentDateTime();

std::unique_ptr<Store> openAt(const QString& path) {
    return bench::openOrExit(SqliteStore::opener(path));
}

OutgoingMessage outgoing(int i) { return bench::numbered(i, kNow.addSecs(-100000 + i)); }

IncomingMessage incoming(int i) {
    IncomingMessage m;
    m.sender = QStringLiteral("+7916%1").arg(1000000 + i);
    m.timeStamp = QStringLiteral("07.12.26 12:00:00");
    m.text = QStringLiteral("Входящее номер %1").arg(i);
    m.key = messageKey(m.sender, m.timeStamp, m.text);
    m.file = QStringLiteral("26-12-07.txt");
    return m;
}

/// Bytes this process has handed to write() so far (Linux: /proc/self/io "wchar").
qint64 bytesWritten() {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("wchar:")) return line.mid(6).trimmed().toLongLong();
    return -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

/// Milliseconds of `run`, the median of `times` runs.
template <typename Run>
double timed(int times, Run run) {
    std::vector<double> ms;
    for (int i = 0; i < times; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(ms);
}

qint64 databaseBytes(const QString& path) {
    qint64 bytes = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) bytes += QFileInfo(path + suffix).size();
    return bytes;
}

int option(const QStringList& args, const QString& name, int byDefault) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : byDefault;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = option(args, QStringLiteral("--rows"), 100000);
    const int events = option(args, QStringLiteral("--events"), 8000);
    const int messages = option(args, QStringLiteral("--messages"), 200);

    // Filled where a commit costs nothing (memory), then measured on the disk: the figures are
    // about reading among many rows, not about how the rows came there.
    QTemporaryDir disk;
    const QString shm = QDir(QStringLiteral("/dev/shm")).exists()
                            ? QStringLiteral("/dev/shm/telvane-store-bench-%1.db")
                                  .arg(QCoreApplication::applicationPid())
                            : disk.filePath(QStringLiteral("fill.db"));
    {
        auto fill = openAt(shm);
        for (int i = 0; i < rows; ++i) {
            // History, mostly: one message in a hundred still waits, one in fifty failed; a
            // message a second over the last 28 hours each way.
            OutgoingMessage m = outgoing(i);
            if (i % 100 != 0) {
                m.state = i % 50 == 1 ? OutgoingState::Failed : OutgoingState::Sent;
                if (m.state == OutgoingState::Sent) m.sentAt = m.updated;
            }
            (void)fill->addOutgoing(m);
            IncomingMessage in = incoming(i);
            in.stored = kNow.addSecs(-100000 + i);
            (void)fill->beginIncoming(in);
        }
    }
    const QString path = disk.filePath(SqliteStore::fileName());
    for (const char* suffix : {"", "-wal", "-shm"}) {
        QFile::copy(shm + suffix, path + suffix);
        QFile::remove(shm + suffix);
    }
    auto store = openAt(path);
    std::printf("On the disk of %s, synchronous=FULL, %d outgoing and %d received messages:\n\n",
                qPrintable(QDir::tempPath()), rows, rows);
    std::printf("%-58s %10s\n", "operation", "ms");
    std::printf("%-58s %10.3f\n", "the 10 newest outgoing (GET /api/v1/messages?limit=10)",
                timed(21, [&] { (void)store->recent(10); }));
    std::printf("%-58s %10.3f\n", "inbox page of 50 after a cursor in the middle",
                timed(21, [&] { (void)store->inbox(rows / 2, 50); }));
    std::printf("%-58s %10.3f\n", "one message by its id",
                timed(21, [&] { (void)store->outgoing(QStringLiteral("api-%1").arg(rows / 3)); }));
    std::printf("%-58s %10.3f\n", "the queue's figures (/metrics)",
                timed(21, [&] { (void)store->queue(); }));
    std::printf("%-58s %10.3f\n", "the day's traffic per hour (GET /api/v1/stats)",
                timed(21, [&] { (void)store->trafficByHour(kNow.addSecs(-23 * 3600), 24); }));
    std::printf("%-58s %10.1f\n", "database size, MB", double(databaseBytes(path)) / 1e6);

    // Sending: what the outbox writes for one single-part message on its way.
    std::vector<double> send;
    for (int i = 0; i < messages; ++i) {
        QElapsedTimer timer;
        timer.start();
        OutgoingMessage m = store->addOutgoing(outgoing(rows + i)).value();
        m = *store->claim(m.seq, Claimant{}, kNow).value();
        m.parts[0].state = PartState::Submitted;
        m.state = OutgoingState::Submitted;
        (void)store->update(m);
        m.parts[0].state = PartState::Confirmed;
        m.parts[0].reference = i % 256;
        (void)store->update(m);
        m.state = OutgoingState::Sent;
        (void)store->update(m);
        send.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::vector<double> receive;
    for (int i = 0; i < messages; ++i) {
        QElapsedTimer timer;
        timer.start();
        const IncomingMessage m = store->beginIncoming(incoming(rows + i)).value();
        (void)store->markStored(m.id, m.file, kNow);
        receive.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%-58s %10.3f\n", "sending one message: enqueue, claim, submitted, confirmed, sent",
                median(send));
    std::printf("%-58s %10.3f\n", "storing one received message: begun, stored", median(receive));

    // The webhook queue: a receiver that was away comes back.
    for (int i = 0; i < events; ++i) (void)store->addEvent(QByteArray(480, 'e'), kNow);
    const qint64 before = bytesWritten();
    QElapsedTimer drain;
    drain.start();
    int drained = 0;
    for (qint64 last = 0;;) {
        const auto next = store->nextEvent(last);
        if (!next || !next->has_value()) break;
        last = next->value().id;
        (void)store->eventDelivered(last, kNow);
        ++drained;
    }
    const double written = double(bytesWritten() - before) / 1e6;
    std::printf("%-58s %10.1f\n",
                qPrintable(QStringLiteral("draining %1 webhook events: MB written").arg(drained)),
                written);
    std::printf("%-58s %10.1f\n", "draining them: seconds", double(drain.elapsed()) / 1000);
    return 0;
}
