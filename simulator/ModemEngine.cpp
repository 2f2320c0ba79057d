#include "ModemEngine.h"

#include <QFile>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>

#include "PduFacts.h"

namespace telvane::simulator {

namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr char kBackspace = 0x08;
// Real modems keep a command line buffer of a few hundred characters; beyond it the line is lost.
constexpr size_t kMaxLine = 560;
// The longest TPDU is 164 octets (TS 23.040), the SMSC part at most 12: anything longer is noise.
constexpr size_t kMaxPduText = 2 * (176 + 12);

// TS 27.005 3.2.5 / TS 27.007 9.2 error numbers the modem uses.
constexpr int kCmeSimNotInserted = 10;
constexpr int kCmsOperationNotAllowed = 302;
constexpr int kCmsOperationNotSupported = 303;
constexpr int kCmsInvalidPduParameter = 304;
constexpr int kCmsSimNotInserted = 310;
constexpr int kCmsMemoryFailure = 320;
constexpr int kCmsInvalidIndex = 321;
constexpr int kCmsUnknownError = 500;

const char* cmeText(int code) {
    switch (code) {
        case 3:
            return "operation not allowed";
        case 4:
            return "operation not supported";
        case 10:
            return "SIM not inserted";
        case 21:
            return "invalid index";
        case 50:
            return "incorrect parameters";
        default:
            return "unknown";
    }
}

std::optional<long> parseNumber(std::string_view text) {
    long value = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string> splitArgs(const std::string& args) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (const char c : args) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            out.emplace_back();
        } else {
            out.back().push_back(c);
        }
    }
    return out;
}

std::string unquote(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// V.250 5.2.1: outside quoted strings, case does not matter and spaces are ignored.
std::string normalise(const std::string& line) {
    std::string out;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') quoted = !quoted;
        if (quoted) {
            out.push_back(c);
        } else if (c != ' ') {
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    return out;
}

const char* memoryName(MemoryId id) { return id == MemoryId::Me ? "ME" : "SM"; }

std::optional<MemoryId> memoryByName(const std::string& name) {
    if (name == "ME") return MemoryId::Me;
    if (name == "SM") return MemoryId::Sm;
    return std::nullopt;
}

MessageStat statFor(MessageKind kind) {
    return kind == MessageKind::Submit ? MessageStat::StoredUnsent : MessageStat::ReceivedUnread;
}

long utcOffsetOf(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local.tm_gmtoff;
}

}  // namespace

ModemEngine::ModemEngine(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
    m_queueTimer.setSingleShot(true);
    connect(&m_queueTimer, &QTimer::timeout, this, &ModemEngine::flushQueue);
    registerCommands();
    resetSettings();
}

const MessageMemory& ModemEngine::memory(MemoryId id) const {
    return id == MemoryId::Me ? m_me : m_sm;
}

MessageMemory& ModemEngine::memoryRef(MemoryId id) { return id == MemoryId::Me ? m_me : m_sm; }

bool ModemEngine::memoryAvailable(MemoryId id) const {
    return id == MemoryId::Me ? !m_options.faults.noMe : !m_options.faults.noSm;
}

void ModemEngine::resetSettings() {
    m_echo = true;
    m_verbose = true;
    m_cmee = 0;
    m_textMode = false;
    m_charset = "IRA";
    m_cnmi = {0, 0, 0, 0, 0};
    const MemoryId first = memoryAvailable(MemoryId::Me) ? MemoryId::Me : MemoryId::Sm;
    m_mem1 = m_mem2 = m_mem3 = first;
}

void ModemEngine::resetLine() {
    m_line.clear();
    m_lineOverflow = false;
    m_enteringPdu = false;
    m_pduText.clear();
    m_queue.clear();
    m_queueTimer.stop();
}

StoreResult ModemEngine::deliver(MemoryId id, const std::string& pduHex) {
    const auto result = store(id, pduHex);
    // TS 27.005 3.4.1: with <mt>=1 the modem tells the host where a new message was stored.
    if (result.index && m_cnmi[1] != 0) {
        sendUnsolicited("+CMTI: \"" + std::string(memoryName(id)) + "\"," +
                        std::to_string(*result.index));
    }
    return result;
}

StoreResult ModemEngine::store(MemoryId id, const std::string& pduHex) {
    const auto bytes = parseHex(pduHex);
    if (const auto* error = std::get_if<PduError>(&bytes)) {
        return {std::nullopt, error->reason + " at octet " + std::to_string(error->offset)};
    }
    const auto layout = layoutOf(std::get<Bytes>(bytes));
    if (const auto* error = std::get_if<PduError>(&layout)) {
        return {std::nullopt, error->field + ": " + error->reason};
    }
    const auto& l = std::get<PduLayout>(layout);
    StoredMessage message{statFor(storedKind(l.firstOctet)), toHex(std::get<Bytes>(bytes)),
                          l.tpduLength};
    const auto index = memoryRef(id).store(std::move(message));
    if (!index) return {std::nullopt, std::string("memory ") + memoryName(id) + " is full"};
    return {index, {}};
}

// ---------------------------------------------------------------------------------------------
// Bytes in

void ModemEngine::input(const QByteArray& bytes) {
    if (!m_options.hostLogPath.isEmpty()) {
        // Every byte as written, control characters included: what a test checks for ESC.
        QFile log(m_options.hostLogPath);
        if (log.open(QIODevice::Append)) log.write(bytes);
    }
    if (m_options.faults.silent) return;
    for (const char c : bytes) {
        if (m_enteringPdu) {
            if (c == kCtrlZ) {
                finishPdu();
            } else if (c == kEsc) {
                // TS 27.005 3.5.1: ESC quits without sending; the modem confirms with OK.
                m_enteringPdu = false;
                m_pduText.clear();
                sendAnswer(formatFinal(Reply{}));
            } else if (c != '\r' && c != '\n') {
                if (m_echo) send(std::string(1, c));
                if (m_pduText.size() < kMaxPduText) m_pduText.push_back(c);
            }
            continue;
        }
        // The LF of a CR LF terminator, or noise between lines, begins no command.
        if (m_line.empty() && (c == '\n' || c == kCtrlZ || c == kEsc)) continue;
        if (m_echo) send(std::string(1, c));
        if (c == '\r') {
            const std::string line = std::move(m_line);
            const bool lost = m_lineOverflow;
            m_line.clear();
            m_lineOverflow = false;
            if (!lost) executeLine(line);
        } else if (c == kBackspace) {
            if (!m_line.empty()) m_line.pop_back();
        } else if (m_line.size() < kMaxLine) {
            m_line.push_back(c);
        } else {
            m_lineOverflow = true;
        }
    }
}

void ModemEngine::executeLine(const std::string& raw) {
    // V.250 5.2.1: characters before the "AT" prefix are not part of the command line.
    std::string line = normalise(raw);
    const auto at = line.find("AT");
    if (at == std::string::npos) return;
    const std::string body = line.substr(at + 2);

    std::string info;
    Reply last;
    size_t pos = 0;
    while (pos < body.size()) {
        std::optional<Reply> reply;
        if (body[pos] == '+') {
            auto end = pos;
            bool quoted = false;
            while (end < body.size() && (quoted || body[end] != ';')) {
                if (body[end] == '"') quoted = !quoted;
                ++end;
            }
            const std::string command = body.substr(pos, end - pos);
            pos = end < body.size() ? end + 1 : end;
            const auto nameEnd = command.find_first_of("=?");
            const std::string name = command.substr(0, nameEnd);
            Form form = Form::Action;
            std::string args;
            if (nameEnd != std::string::npos) {
                const std::string rest = command.substr(nameEnd);
                if (rest == "?")
                    form = Form::Read;
                else if (rest == "=?")
                    form = Form::Test;
                else if (rest[0] == '=') {
                    form = Form::Set;
                    args = rest.substr(1);
                } else {
                    form = Form::Action;
                    args = "\x01";  // a malformed tail: no handler accepts it
                }
            }
            const auto it = m_commands.find(name);
            if (it == m_commands.end() || args == "\x01") {
                reply = Reply{{}, Final::Error, 0};
            } else {
                reply = it->second(form, args);
            }
        } else {
            reply = runBasic(body, pos);
        }
        last = *reply;
        if (last.final != Final::Ok) break;
        info += formatInfo(last.lines);
    }
    if (last.final == Final::None) return;
    if (last.final == Final::Prompt) {
        if (m_options.faults.noPrompt) return;
        if (m_options.faults.errorPrompt) {
            sendAnswer(info + formatFinal(Reply{{}, Final::Error, 0}));
            return;
        }
        m_enteringPdu = true;
        m_expectedTpduLength = static_cast<size_t>(last.code);
        m_pduText.clear();
        sendAnswer(info + "\r\n> ");
        return;
    }
    if (last.final != Final::Ok) info.clear();  // an error cancels the whole line's output
    sendAnswer(info + formatFinal(last));
}

// Basic commands of V.250 6.2 and 5.x: a letter (or & and a letter) and an optional number.
std::optional<ModemEngine::Reply> ModemEngine::runBasic(const std::string& body, size_t& pos) {
    std::string name(1, body[pos++]);
    if (name == "&" && pos < body.size()) name.push_back(body[pos++]);
    size_t digitsEnd = pos;
    while (digitsEnd < body.size() && std::isdigit(static_cast<unsigned char>(body[digitsEnd]))) {
        ++digitsEnd;
    }
    if (digitsEnd - pos > 3) {
        pos = digitsEnd;
        return Reply{{}, Final::Error, 0};
    }
    const int value = digitsEnd > pos ? std::stoi(body.substr(pos, digitsEnd - pos)) : 0;
    pos = digitsEnd;
    Reply reply;
    if (name == "E" && value <= 1) {
        m_echo = value == 1;
    } else if (name == "V" && value <= 1) {
        m_verbose = value == 1;
    } else if (name == "Z" || name == "&F") {
        resetSettings();
    } else if (name == "I" && value == 0) {
        reply.lines = {"Telvane", "TSM-900", "Revision: TSM900_1.0.3"};
    } else if ((name == "Q" && value == 0) || (name == "&C" && value <= 1) ||
               (name == "&D" && value <= 2) || (name == "X" && value <= 4) ||
               (name == "&W" && value == 0)) {
        // Accepted and without effect on a line with no carrier.
    } else {
        reply.final = Final::Error;
    }
    return reply;
}

// ---------------------------------------------------------------------------------------------
// Bytes out

std::string ModemEngine::formatInfo(const std::vector<std::string>& lines) const {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        // V.250 5.7.1: information text is framed by CR LF in verbose mode.
        if (i == 0 && m_verbose) out += "\r\n";
        out += lines[i] + "\r\n";
    }
    return out;
}

std::string ModemEngine::formatFinal(const Reply& reply) const {
    std::string text;
    int numeric = 0;
    switch (reply.final) {
        case Final::Ok:
            text = "OK";
            numeric = 0;
            break;
        case Final::Error:
            text = "ERROR";
            numeric = 4;
            break;
        case Final::CmeError:
            if (m_cmee == 0) {
                text = "ERROR";
                numeric = 4;
                break;
            }
            text = "+CME ERROR: " +
                   (m_cmee == 2 ? std::string(cmeText(reply.code)) : std::to_string(reply.code));
            return m_verbose ? "\r\n" + text + "\r\n" : text + "\r\n";
        case Final::CmsError:
            if (m_cmee == 0 && reply.code != kCmsUnknownError) {
                text = "ERROR";
                numeric = 4;
                break;
            }
            text = "+CMS ERROR: " + std::to_string(reply.code);
            return m_verbose ? "\r\n" + text + "\r\n" : text + "\r\n";
        case Final::Prompt:
        case Final::None:
            return {};
    }
    return m_verbose ? "\r\n" + text + "\r\n" : std::to_string(numeric) + "\r";
}

void ModemEngine::send(std::string bytes) {
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (m_queue.empty()) {
        emit output(data);
    } else {
        m_queue.push_back({std::chrono::steady_clock::now(), data});
    }
}

void ModemEngine::sendAnswer(std::string bytes) {
    if (m_options.faults.garbage) {
        // Line noise: no CR, LF, ">" or letters, so it never forms a result code.
        bytes.insert(0, std::string("\x00\xfe\x7f~\x15\xff#\x80", 8));
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_options.faults.slow.count() == 0 && m_queue.empty()) {
        emit output(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        return;
    }
    m_queue.push_back({now + m_options.faults.slow,
                       QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))});
    if (!m_queueTimer.isActive()) flushQueue();
}

void ModemEngine::sendUnsolicited(const std::string& line) {
    if (m_options.faults.silent) return;
    sendAnswer(m_verbose ? "\r\n" + line + "\r\n" : line + "\r\n");
}

void ModemEngine::flushQueue() {
    const auto now = std::chrono::steady_clock::now();
    while (!m_queue.empty() && m_queue.front().due <= now) {
        const QByteArray bytes = m_queue.front().bytes;
        m_queue.pop_front();
        emit output(bytes);
    }
    if (!m_queue.empty()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_queue.front().due - now);
        m_queueTimer.start(wait);
    }
}

// ---------------------------------------------------------------------------------------------
// Text entry after AT+CMGS

void ModemEngine::finishPdu() {
    m_enteringPdu = false;
    const std::string text = std::move(m_pduText);
    m_pduText.clear();
    if (m_options.faults.errorPdu) {
        sendAnswer(formatFinal(Reply{{}, Final::Error, 0}));
        return;
    }
    if (m_options.faults.cmsError) {
        sendAnswer(formatFinal(Reply{{}, Final::CmsError, kCmsUnknownError}));
        return;
    }
    const Reply invalid{{}, Final::CmsError, kCmsInvalidPduParameter};
    const auto bytes = parseHex(text);
    if (!std::holds_alternative<Bytes>(bytes)) return sendAnswer(formatFinal(invalid));
    const auto layout = layoutOf(std::get<Bytes>(bytes));
    // TS 27.005 3.5.1: <length> counts the TPDU alone; a mismatch is a PDU-mode parameter error.
    if (!std::holds_alternative<PduLayout>(layout) ||
        std::get<PduLayout>(layout).tpduLength != m_expectedTpduLength) {
        return sendAnswer(formatFinal(invalid));
    }
    const auto submit = readSubmit(std::get<Bytes>(bytes));
    if (!std::holds_alternative<SubmitFacts>(submit)) return sendAnswer(formatFinal(invalid));

    if (!m_options.sentLogPath.isEmpty()) {
        QFile log(m_options.sentLogPath);
        if (log.open(QIODevice::Append | QIODevice::Text)) {
            log.write(QByteArray::fromStdString(text + "\n"));
        }
    }
    const std::uint8_t reference = m_nextReference++;
    const auto& facts = std::get<SubmitFacts>(submit);
    if (facts.statusReportRequested) {
        const std::time_t submitted = std::time(nullptr);
        QTimer::singleShot(m_options.reportDelay, this,
                           [this, reference, recipient = facts.destination, submitted] {
                               storeStatusReport(reference, recipient, submitted);
                           });
    }
    Reply reply;
    reply.lines = {"+CMGS: " + std::to_string(reference)};
    sendAnswer(formatInfo(reply.lines) + formatFinal(reply));
}

void ModemEngine::storeStatusReport(std::uint8_t reference, std::vector<std::uint8_t> recipient,
                                    std::time_t submitted) {
    const std::time_t discharged = std::time(nullptr);
    const Bytes report = buildStatusReport(smscPartFor(m_options.smscNumber), reference, recipient,
                                           submitted, discharged, utcOffsetOf(discharged));
    // Reports go where the host reads: the memory it selected last.
    const auto result = store(m_mem1, toHex(report));
    if (result.index && m_cnmi[3] == 2) {
        sendUnsolicited("+CDSI: \"" + std::string(memoryName(m_mem1)) + "\"," +
                        std::to_string(*result.index));
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

void ModemEngine::registerCommands() {
    const auto fixed = [](std::vector<std::string> lines) {
        return [lines](Form form, const std::string&) {
            if (form == Form::Test) return Reply{};
            if (form != Form::Action) return Reply{{}, Final::Error, 0};
            return Reply{lines, Final::Ok, 0};
        };
    };
    for (const char* name : {"+CGMI", "+GMI"}) m_commands[name] = fixed({"Telvane"});
    for (const char* name : {"+CGMM", "+GMM"}) m_commands[name] = fixed({"TSM-900"});
    for (const char* name : {"+CGMR", "+GMR"}) m_commands[name] = fixed({"TSM900_1.0.3"});
    for (const char* name : {"+CGSN", "+GSN"}) m_commands[name] = fixed({"490154203237518"});
    m_commands["+CIMI"] = [this](Form form, const std::string&) {
        if (m_options.faults.noSm) return Reply{{}, Final::CmeError, kCmeSimNotInserted};
        if (form == Form::Test) return Reply{};
        if (form != Form::Action) return Reply{{}, Final::Error, 0};
        return Reply{{"250991234567890"}, Final::Ok, 0};
    };
    m_commands["+CSQ"] = [](Form form, const std::string&) {
        if (form == Form::Test) return Reply{{"+CSQ: (0-31,99),(0-7,99)"}, Final::Ok, 0};
        if (form != Form::Action) return Reply{{}, Final::Error, 0};
        return Reply{{"+CSQ: 21,99"}, Final::Ok, 0};
    };
    m_commands["+CPIN"] = [this](Form form, const std::string&) {
        if (m_options.faults.noSm) return Reply{{}, Final::CmeError, kCmeSimNotInserted};
        if (form == Form::Read) return Reply{{"+CPIN: READY"}, Final::Ok, 0};
        if (form == Form::Test) return Reply{};
        return Reply{{}, Final::CmeError, 3};  // no PIN is asked for
    };
    m_commands["+CREG"] = [](Form form, const std::string& args) {
        if (form == Form::Read) return Reply{{"+CREG: 0,1"}, Final::Ok, 0};
        if (form == Form::Test) return Reply{{"+CREG: (0-2)"}, Final::Ok, 0};
        if (form == Form::Set && (args == "0" || args == "1" || args == "2")) return Reply{};
        return Reply{{}, Final::CmeError, 50};
    };
    // Gammu switches the radio on (AT+CFUN=1) before it talks to any modem.
    m_commands["+CFUN"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) return Reply{{"+CFUN: " + std::to_string(m_cfun)}, Final::Ok, 0};
        if (form == Form::Test) return Reply{{"+CFUN: (0,1,4),(0,1)"}, Final::Ok, 0};
        const auto parts = splitArgs(args);
        const auto fun = parseNumber(parts[0]);
        if (form != Form::Set || parts.size() > 2 || !fun ||
            (*fun != 0 && *fun != 1 && *fun != 4)) {
            return Reply{{}, Final::CmeError, 50};
        }
        m_cfun = static_cast<int>(*fun);
        return Reply{};
    };
    m_commands["+CMEE"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) return Reply{{"+CMEE: " + std::to_string(m_cmee)}, Final::Ok, 0};
        if (form == Form::Test) return Reply{{"+CMEE: (0-2)"}, Final::Ok, 0};
        const auto value = form == Form::Action ? std::optional<long>(0) : parseNumber(args);
        if (!value || *value < 0 || *value > 2) return Reply{{}, Final::CmeError, 50};
        m_cmee = static_cast<int>(*value);
        return Reply{};
    };
    m_commands["+CSCS"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) return Reply{{"+CSCS: \"" + m_charset + "\""}, Final::Ok, 0};
        if (form == Form::Test) return Reply{{"+CSCS: (\"IRA\",\"GSM\",\"UCS2\")"}, Final::Ok, 0};
        const std::string name = unquote(args);
        if (form != Form::Set || (name != "IRA" && name != "GSM" && name != "UCS2")) {
            return Reply{{}, Final::CmeError, 50};
        }
        m_charset = name;
        return Reply{};
    };
    m_commands["+CMGF"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) {
            return Reply{{std::string("+CMGF: ") + (m_textMode ? "1" : "0")}, Final::Ok, 0};
        }
        if (form == Form::Test) return Reply{{"+CMGF: (0,1)"}, Final::Ok, 0};
        if (form == Form::Action || args == "0")
            m_textMode = false;
        else if (args == "1")
            m_textMode = true;
        else
            return Reply{{}, Final::Error, 0};
        return Reply{};
    };
    m_commands["+CSCA"] = [this](Form form, const std::string& args) {
        if (form == Form::Read) {
            return Reply{{"+CSCA: \"" + m_options.smscNumber + "\",145"}, Final::Ok, 0};
        }
        if (form == Form::Test) return Reply{};
        const auto parts = splitArgs(args);
        if (form != Form::Set || parts[0].size() < 3 || parts[0].front() != '"') {
            return Reply{{}, Final::CmsError, kCmsOperationNotAllowed};
        }
        m_options.smscNumber = unquote(parts[0]);
        return Reply{};
    };
    m_commands["+CSMS"] = [](Form form, const std::string& args) {
        if (form == Form::Read) return Reply{{"+CSMS: 0,1,1,1"}, Final::Ok, 0};
        if (form == Form::Test) return Reply{{"+CSMS: (0,1)"}, Final::Ok, 0};
        if (form == Form::Set && (args == "0" || args == "1")) {
            return Reply{{"+CSMS: 1,1,1"}, Final::Ok, 0};
        }
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    };
    m_commands["+CNMI"] = [this](Form form, const std::string& args) {
        if (form == Form::Test) {
            return Reply{{"+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)"}, Final::Ok, 0};
        }
        if (form == Form::Read) {
            std::string line = "+CNMI: ";
            for (size_t i = 0; i < m_cnmi.size(); ++i) {
                line += (i ? "," : "") + std::to_string(m_cnmi[i]);
            }
            return Reply{{line}, Final::Ok, 0};
        }
        static constexpr int kMax[] = {2, 3, 2, 2, 1};
        std::vector<int> values = m_cnmi;
        const auto parts = splitArgs(args);
        if (form != Form::Set || parts.size() > values.size()) {
            return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
        }
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].empty()) continue;
            const auto value = parseNumber(parts[i]);
            if (!value || *value < 0 || *value > kMax[i]) {
                return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
            }
            values[i] = static_cast<int>(*value);
        }
        m_cnmi = values;
        return Reply{};
    };
    m_commands["+CPMS"] = [this](Form f, const std::string& a) { return cpms(f, a); };
    m_commands["+CMGL"] = [this](Form f, const std::string& a) { return cmgl(f, a); };
    m_commands["+CMGR"] = [this](Form f, const std::string& a) { return cmgr(f, a); };
    m_commands["+CMGD"] = [this](Form f, const std::string& a) { return cmgd(f, a); };
    m_commands["+CMGS"] = [this](Form f, const std::string& a) { return cmgs(f, a); };
}

// TS 27.005 3.2.2: <mem1> is read and deleted from, <mem2> written to, <mem3> receives.
ModemEngine::Reply ModemEngine::cpms(Form form, const std::string& args) {
    if (form == Form::Test) {
        std::string list;
        for (const auto id : {MemoryId::Me, MemoryId::Sm}) {
            if (!memoryAvailable(id)) continue;
            list += std::string(list.empty() ? "" : ",") + "\"" + memoryName(id) + "\"";
        }
        return Reply{{"+CPMS: (" + list + "),(" + list + "),(" + list + ")"}, Final::Ok, 0};
    }
    if (form == Form::Read) {
        std::string line = "+CPMS: ";
        const MemoryId ids[] = {m_mem1, m_mem2, m_mem3};
        for (size_t i = 0; i < 3; ++i) {
            const auto& m = memoryRef(ids[i]);
            line += (i ? ",\"" : "\"") + m.name() + "\"," + std::to_string(m.used()) + "," +
                    std::to_string(m.capacity());
        }
        return Reply{{line}, Final::Ok, 0};
    }
    const auto parts = splitArgs(args);
    if (form != Form::Set || parts.size() > 3) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    MemoryId chosen[] = {m_mem1, m_mem2, m_mem3};
    for (size_t i = 0; i < parts.size(); ++i) {
        const auto id = memoryByName(unquote(parts[i]));
        if (!id) return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
        if (!memoryAvailable(*id)) {
            return Reply{
                {}, Final::CmsError, *id == MemoryId::Sm ? kCmsSimNotInserted : kCmsMemoryFailure};
        }
        chosen[i] = *id;
    }
    m_mem1 = chosen[0];
    m_mem2 = chosen[1];
    m_mem3 = chosen[2];
    std::string line = "+CPMS: ";
    for (size_t i = 0; i < 3; ++i) {
        const auto& m = memoryRef(chosen[i]);
        line += (i ? "," : "") + std::to_string(m.used()) + "," + std::to_string(m.capacity());
    }
    return Reply{{line}, Final::Ok, 0};
}

ModemEngine::Reply ModemEngine::cmgl(Form form, const std::string& args) {
    if (m_textMode) return Reply{{}, Final::CmsError, kCmsOperationNotAllowed};
    if (form == Form::Test) return Reply{{"+CMGL: (0-4)"}, Final::Ok, 0};
    const auto stat = form == Form::Action ? std::optional<long>(0) : parseNumber(args);
    if (form == Form::Read || !stat || *stat < 0 || *stat > 4) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    Reply reply;
    auto& memory = readMemory();
    for (const auto index : memory.indexes()) {
        auto* message = memory.at(index);
        if (*stat != 4 && static_cast<long>(message->stat) != *stat) continue;
        reply.lines.push_back("+CMGL: " + std::to_string(index) + "," +
                              std::to_string(static_cast<int>(message->stat)) + ",," +
                              std::to_string(message->tpduLength));
        reply.lines.push_back(message->pduHex);
        // Listing a received message counts as reading it (TS 27.005 3.4.2).
        if (message->stat == MessageStat::ReceivedUnread) message->stat = MessageStat::ReceivedRead;
    }
    return reply;
}

ModemEngine::Reply ModemEngine::cmgr(Form form, const std::string& args) {
    if (m_textMode) return Reply{{}, Final::CmsError, kCmsOperationNotAllowed};
    if (form == Form::Test) return Reply{};
    const auto index = parseNumber(args);
    if (form != Form::Set || !index) return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    auto* message = *index > 0 ? readMemory().at(static_cast<size_t>(*index)) : nullptr;
    if (!message) return Reply{{}, Final::CmsError, kCmsInvalidIndex};
    Reply reply{{"+CMGR: " + std::to_string(static_cast<int>(message->stat)) + ",," +
                     std::to_string(message->tpduLength),
                 message->pduHex},
                Final::Ok,
                0};
    if (message->stat == MessageStat::ReceivedUnread) message->stat = MessageStat::ReceivedRead;
    return reply;
}

ModemEngine::Reply ModemEngine::cmgd(Form form, const std::string& args) {
    if (m_options.faults.muteDelete) return Reply{{}, Final::None, 0};
    auto& memory = readMemory();
    if (form == Form::Test) {
        std::string used;
        for (const auto index : memory.indexes()) {
            used += (used.empty() ? "" : ",") + std::to_string(index);
        }
        return Reply{{"+CMGD: (" + used + "),(0-4)"}, Final::Ok, 0};
    }
    const auto parts = splitArgs(args);
    const auto index = parseNumber(parts[0]);
    const auto flag = parts.size() > 1 ? parseNumber(parts[1]) : std::optional<long>(0);
    if (form != Form::Set || parts.size() > 2 || !index || !flag || *flag < 0 || *flag > 4) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    if (*flag == 0) {
        if (*index <= 0 || !memory.remove(static_cast<size_t>(*index))) {
            return Reply{{}, Final::CmsError, kCmsInvalidIndex};
        }
        return Reply{};
    }
    // <delflag> 1..4 widen the deletion from read messages to every message (TS 27.005 3.5.4).
    for (const auto i : memory.indexes()) {
        const auto stat = memory.at(i)->stat;
        const bool gone = *flag == 4 || stat == MessageStat::ReceivedRead ||
                          (*flag >= 2 && stat == MessageStat::StoredSent) ||
                          (*flag >= 3 && stat == MessageStat::StoredUnsent);
        if (gone) memory.remove(i);
    }
    return Reply{};
}

ModemEngine::Reply ModemEngine::cmgs(Form form, const std::string& args) {
    if (form == Form::Test) return Reply{};
    if (m_textMode) return Reply{{}, Final::CmsError, kCmsOperationNotAllowed};
    const auto length = parseNumber(args);
    if (form != Form::Set || !length || *length < 7 || *length > 176) {
        return Reply{{}, Final::CmsError, kCmsOperationNotSupported};
    }
    return Reply{{}, Final::Prompt, static_cast<int>(*length)};
}

}  // namespace telvane::simulator
