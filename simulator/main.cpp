// telvane-modem: a simulated GSM modem on a pseudo-terminal, for the demo, the tests and the
// benchmarks.

#include <signal.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QSocketNotifier>
#include <cstdio>

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

const char* kDescription =
    "A simulated GSM modem (3GPP TS 27.005/27.007, PDU mode) on a pseudo-terminal.\n"
    "\n"
    "Creates a pseudo-terminal, points the symbolic link given by --link at its slave side,\n"
    "prints the slave's path on one line and answers AT commands until SIGINT or SIGTERM;\n"
    "the link is removed on exit.\n"
    "\n"
    "Memory files (--me, --sm): one PDU per line in hex, SMSC part first, as AT+CMGL lists it;\n"
    "empty lines and lines starting with # are skipped. SMS-DELIVER and STATUS-REPORT PDUs are\n"
    "stored as received unread (stat 0), SMS-SUBMIT as stored unsent (stat 2).\n"
    "\n"
    "Control: a Unix-domain socket at the link path followed by \".ctl\" takes one request per\n"
    "line and answers each with one line, \"OK[ detail]\" or \"ERROR <reason>\":\n"
    "  deliver me|sm HEX   store an incoming PDU          -> OK <index>\n"
    "  list me|sm          the memory's content           -> OK[ <index>,<stat>,<hex>]...\n"
    "  unplug              close the line, remove the link -> OK\n"
    "  plug                new line behind the same link  -> OK <slave path>\n"
    "For example: echo 'deliver sm 0791...' | socat - UNIX-CONNECT:/tmp/modem.ctl\n"
    "\n"
    "Faults (--fault, repeatable): silent (answers nothing), no-me / no-sm (that memory cannot\n"
    "be selected), error-prompt (ERROR instead of the prompt), no-prompt (AT+CMGS is not\n"
    "answered), error-pdu (ERROR after the PDU), cms-error (+CMS ERROR: 500 after the PDU),\n"
    "slow=MS (every answer held back MS milliseconds), garbage (noise bytes before answers),\n"
    "mute-delete (AT+CMGD is not answered and deletes nothing).";

bool preload(ModemEngine& engine, MemoryId memory, const QString& path) {
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
        const auto result = engine.deliver(memory, line.toStdString());
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

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Symbolic link to the modem's port."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption meOption(QStringLiteral("me"),
                                      QStringLiteral("Preload the phone memory (\"ME\")."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption smOption(QStringLiteral("sm"),
                                      QStringLiteral("Preload the SIM memory (\"SM\")."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption sentOption(
        QStringLiteral("sent"),
        QStringLiteral("Append every PDU the modem accepted for sending, one per line."),
        QStringLiteral("FILE"));
    const QCommandLineOption hostOption(
        QStringLiteral("host-log"),
        QStringLiteral("Append every byte the host writes, exactly as written."),
        QStringLiteral("FILE"));
    const QCommandLineOption faultOption(QStringLiteral("fault"),
                                         QStringLiteral("Misbehave (repeatable): see above."),
                                         QStringLiteral("NAME"));
    const QCommandLineOption reportOption(
        QStringLiteral("report-delay"),
        QStringLiteral("Delay before a requested status report is stored (default 500)."),
        QStringLiteral("MS"), QStringLiteral("500"));
    parser.addOptions(
        {linkOption, meOption, smOption, sentOption, hostOption, faultOption, reportOption});
    parser.process(app);

    const auto fail = [](const QString& text) {
        std::fprintf(stderr, "telvane-modem: %s\n", qPrintable(text));
        return 2;
    };
    if (!parser.isSet(linkOption)) return fail(QStringLiteral("--link PATH is required"));

    ModemEngine::Options options;
    for (const QString& fault : parser.values(faultOption)) {
        if (const auto error = applyFault(options.faults, fault.toStdString())) {
            return fail(QString::fromStdString(*error) + " (known: " +
                        QString::fromLatin1(faultHelp().data(), faultHelp().size()) + ")");
        }
    }
    bool delayOk = false;
    const int reportDelay = parser.value(reportOption).toInt(&delayOk);
    if (!delayOk || reportDelay < 0)
        return fail(QStringLiteral("--report-delay needs milliseconds"));
    options.reportDelay = std::chrono::milliseconds(reportDelay);
    options.sentLogPath = parser.value(sentOption);
    options.hostLogPath = parser.value(hostOption);

    ModemEngine engine(options);
    if (parser.isSet(meOption) && !preload(engine, MemoryId::Me, parser.value(meOption))) return 2;
    if (parser.isSet(smOption) && !preload(engine, MemoryId::Sm, parser.value(smOption))) return 2;

    const QString linkPath = parser.value(linkOption);
    PtyLink link(linkPath);
    QObject::connect(&link, &PtyLink::received, &engine, &ModemEngine::input);
    QObject::connect(&engine, &ModemEngine::output, &link, &PtyLink::write);

    ControlServer control(engine, link);
    const QString controlPath = linkPath + QStringLiteral(".ctl");
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
