// Prints what one outgoing file costs the gateway itself, apart from the phone: encoding
// alone, and a whole scan (listing, reading, encoding, the journal written and flushed to the
// disk before each deletion, the deletion) against a phone that answers at once. It also
// prints the fixed pauses such a scan would spend with a real phone. Figures, not pass or fail.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "codec/Alphabets.h"
#include "codec/Submit.h"
#include "config/Settings.h"
#include "send/OutboxScan.h"
#include "support/FakePoll.h"

namespace {

using namespace telvane;

constexpr int kFileCounts[] = {10, 100, 1000};

// A third short Latin, a third short Cyrillic, a third three 7-bit parts.
std::u32string textFor(int i) {
    switch (i % 3) {
        case 0:
            return U"Order " + std::u32string(1, U'0' + i % 10) + U" is ready for pickup.";
        case 1:
            return U"Заказ готов, приходите с 10 до 19 часов. Номер " +
                   std::u32string(1, U'0' + i % 10);
        default:
            return std::u32string(400, U'x');
    }
}

double encodeMicroseconds(int n) {
    codec::SubmitOptions options;
    QElapsedTimer timer;
    timer.start();
    std::size_t parts = 0;
    for (int i = 0; i < n; ++i) {
        const auto result = codec::encodeSubmit("79161234567", textFor(i), options);
        parts += std::get<codec::SubmitMessage>(result).parts.size();
    }
    const double us = static_cast<double>(timer.nsecsElapsed()) / 1000.0 / n;
    return parts > 0 ? us : 0;
}

}  // namespace

int main() {
    std::printf("%8s %14s %14s %12s %16s\n", "files", "encode us/file", "scan us/file",
                "phone trans.", "paced s/file");
    for (const int n : kFileCounts) {
        test::FakePoll poll;  // a phone that answers at once
        QDir().mkpath(poll.working.sendFolder);
        QDir().mkpath(poll.working.logFolder);
        for (int i = 0; i < n; ++i) {
            QFile file(poll.working.sendFolder +
                       QStringLiteral("m%1.txt").arg(i, 5, 10, QLatin1Char('0')));
            file.open(QIODevice::WriteOnly);
            file.write("79161234567\t" +
                       QByteArray::fromStdString(codec::unicodeToCp1251Lossy(textFor(i))));
        }
        poll.clock.laterSeconds = 60;  // every file finished a minute ago
        auto context = poll.context();
        send::OutboxScan scanner;
        QElapsedTimer timer;
        timer.start();
        scanner.ScanOutbox(context);
        const double scanUs = static_cast<double>(timer.nsecsElapsed()) / 1000.0 / n;
        const auto left = QDir(poll.working.sendFolder).entryList(QDir::Files).size();
        if (left != 0)
            std::printf("warning: %lld files were not sent\n", static_cast<long long>(left));
        std::printf("%8d %14.1f %14.1f %12ld %16.2f\n", n, encodeMicroseconds(n), scanUs,
                    static_cast<long>(poll.phone.commands.size()),
                    // the pause every transaction opens with, and the pauses between the parts
                    static_cast<double>(poll.clock.ms +
                                        poll.pacing.beforeCommandMs * poll.phone.commands.size()) /
                        1000.0 / n);
    }
    return 0;
}
