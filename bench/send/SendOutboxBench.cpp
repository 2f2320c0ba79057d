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

class InstantPhone final : public contracts::PhoneLink {
public:
    InstantPhone(contracts::Clock& clock, const contracts::PacingProfile& pacing)
        : m_clock(clock), m_pacing(pacing) {}
    contracts::PortOpening OpenPort() override {
        return {contracts::PortOpening::Outcome::Opened, {}};
    }
    QString portDescription() const override { return QStringLiteral("COM1; 9600; n,8,1"); }
    bool SendToPhone(const QByteArray& command, const QString&, QString&, int) override {
        m_clock.pause(m_pacing.beforeCommandMs);  // the pause every transaction opens with
        m_buffer = command.startsWith("at+cmgs=") ? QByteArray("\r\n> ") : QByteArray("\r\nOK\r\n");
        ++transactions;
        return true;
    }
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override {}
    void FinCom() override {}
    void setLogFolder(const QString&) override {}
    long transactions = 0;

private:
    contracts::Clock& m_clock;
    const contracts::PacingProfile& m_pacing;
    QByteArray m_buffer;
};

class NullStatus final : public contracts::StatusSink {
public:
    void SetStatus(const contracts::Status& status) override { m_status = status; }
    void SetStatusIcon(contracts::StatusIcon) override {}
    const contracts::Status& currentStatus() const override { return m_status; }

private:
    contracts::Status m_status;
};

class CountingClock final : public contracts::Clock {
public:
    qint64 monotonicMs() const override { return pausedMs; }
    void pause(int ms) override { pausedMs += ms; }
    qint64 pausedMs = 0;
};

class NoPump final : public contracts::EventPump {
public:
    void run() override {}
};

class LaterWallClock final : public contracts::WallClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime().addSecs(60); }
};

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
        QTemporaryDir home;
        QDir(home.path()).mkpath(QStringLiteral("Send"));
        QDir(home.path()).mkpath(QStringLiteral("Logs"));
        config::Settings settings(home.filePath(QStringLiteral("Telvane.ini")), home.path());
        contracts::WorkingSettings working;
        working.gfsSend = home.filePath(QStringLiteral("Send/"));
        working.gfsLogs = home.filePath(QStringLiteral("Logs/"));
        working.gfsSplit = QStringLiteral("\t");
        for (int i = 0; i < n; ++i) {
            QFile file(working.gfsSend + QStringLiteral("m%1.txt").arg(i, 5, 10, QLatin1Char('0')));
            file.open(QIODevice::WriteOnly);
            file.write("79161234567\t" +
                       QByteArray::fromStdString(codec::unicodeToCp1251Lossy(textFor(i))));
        }
        const contracts::PacingProfile pacing;
        CountingClock clock;
        InstantPhone phone(clock, pacing);
        NullStatus status;
        NoPump pump;
        LaterWallClock wallClock;
        contracts::PollContext context{phone, status, working, settings,
                                       clock, pump,   pacing,  wallClock};
        send::OutboxScan scanner;
        QElapsedTimer timer;
        timer.start();
        scanner.ScanOutbox(context);
        const double scanUs = static_cast<double>(timer.nsecsElapsed()) / 1000.0 / n;
        const auto left = QDir(working.gfsSend).entryList(QDir::Files).size();
        if (left != 0)
            std::printf("warning: %lld files were not sent\n", static_cast<long long>(left));
        std::printf("%8d %14.1f %14.1f %12ld %16.2f\n", n, encodeMicroseconds(n), scanUs,
                    phone.transactions, static_cast<double>(clock.pausedMs) / 1000.0 / n);
    }
    return 0;
}
