// Prints the time from a message posted to the HTTP interface to its PDU on a modem, with polls
// ten minutes apart, so that what is measured is how the gateway is woken, not its poll period:
// on one gateway with telvane.db, and from gateway A to a modem of gateway B through a
// PostgreSQL server of its own (A has no modem, so B must take it). The modem is the simulated
// one with the fast pacing; its own exchange is part of the figure.
//
//   wake_bench [--messages N]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "support/Home.h"
#include "support/PostgresServer.h"

using namespace telvane::test;

namespace {

const QByteArray kToken = "bench-token-0123456789";

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "wake_bench: %s\n", qPrintable(why));
    std::exit(1);
}

QByteArray gatewayIni(const QString& port, const QByteArray& store) {
    return "[Options]\r\nComPort=" + port.toUtf8() +
           "\r\nPeriod=600\r\nPacing=fast\r\n[Http]\r\nListen=127.0.0.1:0\r\nToken=" + kToken +
           "\r\n" + store;
}

/// The address its HTTP interface announced.
QUrl interfaceOf(ServiceProcess& service) {
    static const QRegularExpression line(QStringLiteral("^Веб-интерфейс: (http://\\S+)/$"));
    for (int tries = 0; tries < 100; ++tries) {
        for (const QString& status : service.statuses())
            if (const auto found = line.match(status); found.hasMatch())
                return QUrl(found.captured(1));
        service.waitForStatus(QStringLiteral("(never)"), 0, 100);
    }
    fail(QStringLiteral("no HTTP interface: ") + service.errors());
}

void post(QNetworkAccessManager& network, const QUrl& base, int i) {
    QNetworkRequest request(base.resolved(QUrl(QStringLiteral("/api/v1/messages"))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.setRawHeader("Authorization", "Bearer " + kToken);
    QNetworkReply* reply = network.post(
        request, "{\"to\": \"+79161234567\", \"text\": \"wake " + QByteArray::number(i) + "\"}");
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    if (status != 202) fail(QStringLiteral("the post was answered %1").arg(status));
}

/// Milliseconds from each post to `base` to its PDU on `modem`, one message at a time.
std::vector<qint64> latencies(const QUrl& base, SimulatedModem& modem, int messages) {
    QNetworkAccessManager network;
    std::vector<qint64> figures;
    for (int i = 0; i < messages; ++i) {
        QElapsedTimer clock;
        clock.start();
        post(network, base, i);
        if (!modem.waitForSent(i + 1, std::chrono::seconds(30)))
            fail(QStringLiteral("message %1 did not reach the modem in 30 s").arg(i));
        figures.push_back(clock.elapsed());
    }
    std::sort(figures.begin(), figures.end());
    return figures;
}

void print(const char* what, const std::vector<qint64>& ms) {
    std::printf("%-40s %8lld %8lld %8lld\n", what, static_cast<long long>(ms[ms.size() / 2]),
                static_cast<long long>(ms[ms.size() * 9 / 10]), static_cast<long long>(ms.back()));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--messages"));
    const int messages = at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : 20;
    if (messages < 1) fail(QStringLiteral("--messages: a number from 1"));

    std::printf("%d messages, one at a time, Period=600: milliseconds from POST to PDU\n",
                messages);
    std::printf("%-40s %8s %8s %8s\n", "", "median", "p90", "max");
    {
        SimulatedModem modem;
        if (!modem.start()) fail(modem.errorString());
        Home home;
        home.writeIni(gatewayIni(modem.linkPath(), {}));
        ServiceProcess service(home.dir.path());
        service.start();
        const QUrl base = interfaceOf(service);
        if (service.waitForStatus(QStringLiteral("Пауза перед опросом телефона")) < 0)
            fail(QStringLiteral("the gateway did not come into service"));
        print("one gateway, telvane.db", latencies(base, modem, messages));
        service.terminate();
        service.waitForExit();
    }
    PostgresServer server;
    if (!server.ok()) fail(server.error());
    const QByteArray shared =
        "[Store]\r\nBackend=postgresql\r\nUrl=" + server.newDatabase().toUtf8();
    Home a, b;
    SimulatedModem modem;
    if (!modem.start()) fail(modem.errorString());
    a.writeIni(gatewayIni(a.path("no-such-port"), shared + "\r\nHost=a\r\n"));
    b.writeIni(gatewayIni(modem.linkPath(), shared + "\r\nHost=b\r\n"));
    ServiceProcess onA(a.dir.path()), onB(b.dir.path());
    onA.start();
    onB.start();
    const QUrl base = interfaceOf(onA);
    if (onB.waitForStatus(QStringLiteral("Пауза перед опросом телефона")) < 0)
        fail(QStringLiteral("gateway B did not come into service"));
    print("POST on A, PDU on B, PostgreSQL", latencies(base, modem, messages));
    for (ServiceProcess* s : {&onA, &onB}) s->terminate();
    for (ServiceProcess* s : {&onA, &onB}) s->waitForExit();
    return 0;
}
