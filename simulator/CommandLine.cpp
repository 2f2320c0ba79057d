#include "CommandLine.h"

#include <QCommandLineParser>

#include "Behaviours.h"
#include "PtyLink.h"

namespace telvane::simulator {

namespace {

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
    "  deliver me|sm|sr HEX  a message from the network, stored or passed to the host as\n"
    "                        AT+CNMI says; a full memory turns it away and it comes again\n"
    "                        after a deletion              -> OK <index> | OK host | OK waiting\n"
    "  list me|sm|sr         the memory's content          -> OK[ <index>,<stat>,<hex>]...\n"
    "  network STATE         home, roaming, searching, denied, unknown, none -> OK\n"
    "  signal N              AT+CSQ's <rssi>, 0-31 or 99   -> OK\n"
    "  sim STATE             ready, pin, puk, absent, busy -> OK\n"
    "  settings              echo, CMEE, CNMI, CPMS, CMMS, CSMS as set -> OK echo=1 cmee=0 ...\n"
    "  unplug                close the line, remove the link -> OK\n"
    "  plug                  new line behind the same link -> OK <slave path>\n"
    "For example: echo 'list me' | socat - UNIX-CONNECT:/tmp/modem.ctl\n"
    "\n"
    "Faults (--fault, repeatable): silent (answers nothing), no-me / no-sm (that memory cannot\n"
    "be selected), error-prompt (ERROR instead of the prompt), no-prompt (AT+CMGS is not\n"
    "answered), error-pdu (ERROR after the PDU), cms-error (+CMS ERROR: 500 after the PDU),\n"
    "slow=MS (every answer held back MS milliseconds), garbage (noise bytes before answers),\n"
    "mute-delete (AT+CMGD is not answered and deletes nothing).\n"
    "\n";

std::optional<long> number(const QString& text, long min, long max) {
    bool ok = false;
    const long value = text.toLong(&ok);
    if (!ok || value < min || value > max) return std::nullopt;
    return value;
}

// "ME:100,SM:30", or names alone with their usual sizes.
std::optional<std::vector<ModemEngine::MemorySpec>> memories(const QString& text) {
    std::vector<ModemEngine::MemorySpec> out;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QString name = item.section(QLatin1Char(':'), 0, 0).toUpper();
        if (name != QLatin1String("ME") && name != QLatin1String("SM") &&
            name != QLatin1String("SR")) {
            return std::nullopt;
        }
        const auto capacity = item.contains(QLatin1Char(':'))
                                  ? number(item.section(QLatin1Char(':'), 1), 1, 1000)
                                  : std::optional<long>(name == QLatin1String("ME") ? 100 : 30);
        if (!capacity) return std::nullopt;
        out.push_back({name.toStdString(), static_cast<size_t>(*capacity)});
    }
    return out;
}

QStringList withProfile(QStringList arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString name;
        if (arguments[i] == QLatin1String("--profile") && i + 1 < arguments.size()) {
            name = arguments[i + 1];
        } else if (arguments[i].startsWith(QLatin1String("--profile="))) {
            name = arguments[i].mid(10);
        } else {
            continue;
        }
        const auto& profiles = behaviours().profiles;
        const auto it = profiles.find(name.toStdString());
        if (it == profiles.end()) continue;  // the parser reports it
        QStringList expanded;
        for (const auto& option : it->second) expanded << QString::fromStdString(option);
        arguments = arguments.mid(0, 1) + expanded + arguments.mid(1);
        break;
    }
    return arguments;
}

}  // namespace

std::variant<ModemSetup, QString> readCommandLine(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription) +
                                     QString::fromStdString(behaviours().help));
    parser.addHelpOption();
    const auto option = [&parser](const char* name, const char* help, const char* value = nullptr,
                                  const char* byDefault = nullptr) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromUtf8(help));
        if (value) o.setValueName(QString::fromLatin1(value));
        if (byDefault) o.setDefaultValue(QString::fromLatin1(byDefault));
        parser.addOption(o);
        return QString::fromLatin1(name);
    };
    const auto link = option("link", "Symbolic link to the modem's port.", "PATH");
    const auto me = option("me", "Preload the phone memory (\"ME\").", "FILE");
    const auto sm = option("sm", "Preload the SIM memory (\"SM\").", "FILE");
    const auto sent =
        option("sent", "Append every PDU the modem accepted for sending, one per line.", "FILE");
    const auto host =
        option("host-log", "Append every byte the host writes, exactly as written.", "FILE");
    const auto fault = option("fault", "Misbehave (repeatable): see above.", "NAME");
    const auto report =
        option("report-delay", "Delay before a requested status report is stored.", "MS", "500");
    const auto baud =
        option("baud", "Line speed in both directions: bits a second, or port.", "N", "0");
    const auto mems =
        option("memories", "Message memories in AT+CPMS=? order.", "LIST", "ME:100,SM:30");
    const auto cnmi =
        option("cnmi", "New-message routing at power-up and after ATZ.", "LIST", "0,0,0,0,0");
    const auto ranges = option("cnmi-ranges", "What AT+CNMI=? answers and AT+CNMI takes.", "LIST",
                               "(0-2),(0-3),(0,2),(0-2),(0,1)");
    const auto pin = option("pin", "The SIM asks for this PIN at power-up.", "PIN");
    const auto puk = option("puk", "The PUK that unlocks the SIM.", "PUK", "12345678");
    const auto sim = option("sim", "SIM at power-up: absent, busy or busy=MS.", "STATE");
    const auto network = option("network", "Registration at power-up.", "STATE", "home");
    const auto signal = option("signal", "AT+CSQ <rssi> at power-up (0-31, 99).", "N", "21");
    const auto delay = option("network-delay", "Network time of a submission, and on a kept link.",
                              "MS[,KEPT]", "0");
    const auto cnma =
        option("cnma-timeout", "How long a +CMT waits for AT+CNMA after AT+CSMS=1.", "MS", "15000");
    const auto seed = option("seed", "Seed of the places of --fault unsolicited.", "N", "1");
    option("profile", "Behave like a device seen in the field: see below.", "NAME");
    parser.process(withProfile(app.arguments()));

    if (parser.isSet(QStringLiteral("profile")) &&
        !behaviours().profiles.contains(parser.value(QStringLiteral("profile")).toStdString())) {
        return QStringLiteral("unknown profile \"%1\"")
            .arg(parser.value(QStringLiteral("profile")));
    }
    if (!parser.isSet(link)) return QStringLiteral("--link PATH is required");
    ModemSetup setup;
    setup.linkPath = parser.value(link);
    setup.mePath = parser.value(me);
    setup.smPath = parser.value(sm);
    auto& o = setup.options;
    o.sentLogPath = parser.value(sent);
    o.hostLogPath = parser.value(host);
    for (const QString& name : parser.values(fault)) {
        if (const auto error = applyFault(o.faults, name.toStdString())) {
            return QString::fromStdString(*error + " (known: " + faultNames() + ")");
        }
    }
    const auto ms = [](const QString& text) {
        const auto value = number(text, 0, 3600000);
        return value ? std::optional(std::chrono::milliseconds(*value)) : std::nullopt;
    };
    const auto reportDelay = ms(parser.value(report));
    if (!reportDelay) return QStringLiteral("--report-delay needs milliseconds");
    o.reportDelay = *reportDelay;
    if (parser.value(baud) == QLatin1String("port")) {
        setup.baud = PtyLink::kFollowPort;
    } else if (const auto bits = number(parser.value(baud), 0, 4000000)) {
        setup.baud = static_cast<int>(*bits);
    } else {
        return QStringLiteral("--baud needs bits a second or \"port\"");
    }
    const auto memoryList = memories(parser.value(mems));
    if (!memoryList) return QStringLiteral("--memories needs NAME[:SIZE],... of ME, SM and SR");
    o.memories = *memoryList;
    o.cnmiRanges = parser.value(ranges).toStdString();
    const auto allowed = parseCnmiRanges(o.cnmiRanges);
    if (!allowed) return QStringLiteral("--cnmi-ranges needs five lists such as (0-2),(0,1),...");
    o.savedCnmi.clear();
    const QStringList saved = parser.value(cnmi).split(QLatin1Char(','));
    for (qsizetype i = 0; i < saved.size() && saved.size() == 5; ++i) {
        const auto value = number(saved[i], 0, 9);
        const auto& values = (*allowed)[static_cast<size_t>(i)];
        if (!value || std::find(values.begin(), values.end(), *value) == values.end()) break;
        o.savedCnmi.push_back(static_cast<int>(*value));
    }
    if (o.savedCnmi.size() != 5)
        return QStringLiteral("--cnmi needs five values that --cnmi-ranges allows");
    o.pin = parser.value(pin).toStdString();
    o.puk = parser.value(puk).toStdString();
    if (parser.isSet(sim)) {
        const QString state = parser.value(sim).section(QLatin1Char('='), 0, 0);
        if (state == QLatin1String("absent")) {
            o.simState = SimState::Absent;
        } else if (state == QLatin1String("busy")) {
            o.simState = SimState::Busy;
            if (parser.value(sim).contains(QLatin1Char('='))) {
                const auto busy = ms(parser.value(sim).section(QLatin1Char('='), 1));
                if (!busy) return QStringLiteral("--sim busy=MS needs milliseconds");
                o.simBusyFor = *busy;
            }
        } else {
            return QStringLiteral("--sim needs absent, busy or busy=MS");
        }
    }
    const auto registration = registrationNamed(parser.value(network).toStdString());
    if (!registration)
        return QStringLiteral("--network needs home, roaming, searching, denied, unknown or none");
    o.registration = *registration;
    const auto rssi = number(parser.value(signal), 0, 99);
    if (!rssi || (*rssi > 31 && *rssi != 99)) return QStringLiteral("--signal needs 0-31 or 99");
    o.signal = static_cast<int>(*rssi);
    const QStringList delays = parser.value(delay).split(QLatin1Char(','));
    const auto fresh = ms(delays[0]);
    const auto kept = delays.size() > 1 ? ms(delays[1])
                      : fresh           ? std::optional(*fresh / 4)
                                        : std::nullopt;
    if (!fresh || !kept || delays.size() > 2)
        return QStringLiteral("--network-delay needs MS or MS,KEPT");
    o.networkDelay = *fresh;
    o.keptLinkDelay = *kept;
    const auto ackTimeout = ms(parser.value(cnma));
    if (!ackTimeout) return QStringLiteral("--cnma-timeout needs milliseconds");
    o.cnmaTimeout = *ackTimeout;
    const auto seedValue = number(parser.value(seed), 0, 4294967295L);
    if (!seedValue) return QStringLiteral("--seed needs a number");
    o.seed = static_cast<unsigned>(*seedValue);
    return setup;
}

}  // namespace telvane::simulator
