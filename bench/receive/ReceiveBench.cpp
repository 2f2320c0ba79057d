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

class ListingPhone final : public contracts::PhoneLink {
public:
    explicit ListingPhone(int count) {
        m_answer = "AT+CMGL=4\r\r\n";
        for (int i = 1; i <= count; ++i) {
            m_answer += "\r\n+CMGL: " + QByteArray::number(i) + ",1,,23\r\n" + pdu(i);
        }
        m_answer += "\r\n\r\nOK\r\n";
    }
    contracts::PortOpening OpenPort() override {
        return {contracts::PortOpening::Outcome::Opened, {}};
    }
    QString portDescription() const override { return QStringLiteral("COM1; 9600; n,8,1"); }
    bool SendToPhone(const QByteArray& command, const QString&, QString&, int) override {
        // Only the phone memory holds messages.
        if (command == "AT+CMGL=4\r\n") m_buffer = m_listed ? "\r\nOK\r\n" : m_answer;
        if (command == "AT+CMGL=4\r\n") m_listed = true;
        if (command.startsWith("AT+CPMS=\"SM\"")) m_listed = true;
        return true;
    }
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override {}
    void FinCom() override {}
    void setLogFolder(const QString&) override {}

private:
    QByteArray m_answer;
    QByteArray m_buffer;
    bool m_listed = false;
};

struct NoStatus final : contracts::StatusSink {
    void SetStatus(const contracts::Status& s) override { m_status = s; }
    void SetStatusIcon(contracts::StatusIcon) override {}
    const contracts::Status& currentStatus() const override { return m_status; }
    contracts::Status m_status;
};
struct NoClock final : contracts::Clock {
    qint64 monotonicMs() const override { return 0; }
    void pause(int) override {}
};
struct NoPump final : contracts::EventPump {
    void run() override {}
};

double runOnce(int count) {
    QTemporaryDir home;
    const QString ini = home.filePath(QStringLiteral("Telvane.ini"));
    QFile(ini).open(QIODevice::WriteOnly);
    config::Settings settings(ini, home.path());
    contracts::WorkingSettings working;
    working.gfsReceive = settings.folder(config::setting::Receive);
    working.gfsLogs = settings.folder(config::setting::Logs);
    ListingPhone phone(count);
    NoStatus status;
    NoClock clock;
    NoPump pump;
    contracts::PacingProfile pacing{0, 0, 0};
    contracts::SystemWallClock wallClock;
    contracts::PollContext context{phone, status, working, settings,
                                   clock, pump,   pacing,  wallClock};
    receive::InboxRetrieval inbox;
    QElapsedTimer timer;
    timer.start();
    inbox.RetrieveInbox(context);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (working.gflSMSnum != 1 + count)
        std::fprintf(stderr, "stored %d of %d\n", working.gflSMSnum - 1, count);
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
