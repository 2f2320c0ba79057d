// Prints the cost of one retrieval run that stores N ordinary messages in the day's text file
// (each store synced to the disk, journalled, Number written, then deleted), per message.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "config/Settings.h"
#include "contracts/PollContext.h"
#include "receive/InboxRetrieval.h"
#include "support/FakePoll.h"

using namespace telvane;

namespace {

// Two semi-octets of a time-stamp field, digits swapped as TS 23.040 9.1.2.3 stores them.
QByteArray semiOctets(int value) {
    return QByteArray::number(value % 10) + QByteArray::number(value / 10 % 10);
}

// "Hello" from +12345678901, with the time stamp made from `i` so that no two are alike.
QByteArray pdu(int i) {
    return "07912143658709F1040B912143658709F10000" + QByteArray("622150") +
           semiOctets(i / 3600 % 24) + semiOctets(i / 60 % 60) + semiOctets(i % 60) +
           "2105C8329BFD06";
}

// N messages in the phone memory, as AT+CMGL=4 lists them.
QByteArray listAnswer(int count) {
    QByteArray answer = "AT+CMGL=4\r\r\n";
    for (int i = 1; i <= count; ++i)
        answer += "\r\n+CMGL: " + QByteArray::number(i) + ",1,,23\r\n" + pdu(i);
    return answer + "\r\n\r\nOK\r\n";
}

double runOnce(int count) {
    test::FakePoll poll;
    poll.pacing = {0, 0, 0};
    poll.phone.memories["ME"].answer = listAnswer(count);
    auto context = poll.context();
    receive::InboxRetrieval inbox(poll.files);
    QElapsedTimer timer;
    timer.start();
    inbox.RetrieveInbox(context);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (poll.working.nextNumber != 1 + count)
        std::fprintf(stderr, "stored %d of %d\n", poll.working.nextNumber - 1, count);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::printf("%8s %12s %14s\n", "messages", "run ms", "ms per message");
    for (const int count : {10, 100, 1000}) {
        std::vector<double> runs;
        for (int r = 0; r < 3; ++r) runs.push_back(runOnce(count));
        std::sort(runs.begin(), runs.end());
        const double median = runs[1];
        std::printf("%8d %12.1f %14.3f\n", count, median, median / count);
    }
    return 0;
}
