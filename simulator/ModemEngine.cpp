#include "ModemEngine.h"

#include <QFile>
#include <algorithm>
#include <cctype>

#include "AtText.h"
#include "Behaviours.h"

namespace telvane::simulator {

namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr char kBackspace = 0x08;
// Real modems keep a command line buffer of a few hundred characters; beyond it the line is lost.
constexpr size_t kMaxLine = 560;
// The longest TPDU is 164 octets (TS 23.040), the SMSC part at most 12: anything longer is noise.
constexpr size_t kMaxPduText = 2 * (176 + 12);

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

}  // namespace

std::optional<Registration> registrationNamed(std::string_view name) {
    static const std::pair<std::string_view, Registration> kNames[] = {
        {"none", Registration::None},           {"home", Registration::Home},
        {"searching", Registration::Searching}, {"denied", Registration::Denied},
        {"unknown", Registration::Unknown},     {"roaming", Registration::Roaming},
    };
    for (const auto& [text, value] : kNames) {
        if (name == text) return value;
    }
    return std::nullopt;
}

std::optional<std::vector<std::vector<int>>> parseCnmiRanges(std::string_view text) {
    std::vector<std::vector<int>> out;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ',') ++pos;
        const auto close = text.find(')', pos);
        if (pos >= text.size() || text[pos] != '(' || close == std::string_view::npos) {
            return std::nullopt;
        }
        auto& allowed = out.emplace_back();
        for (const auto& item : splitArgs(text.substr(pos + 1, close - pos - 1))) {
            const auto dash = item.find('-');
            const auto low = parseNumber(item.substr(0, dash));
            const auto high = dash == std::string::npos ? low : parseNumber(item.substr(dash + 1));
            if (!low || !high || *low > *high || *high > 9) return std::nullopt;
            for (long v = *low; v <= *high; ++v) allowed.push_back(static_cast<int>(v));
        }
        pos = close + 1;
    }
    if (out.size() != 5) return std::nullopt;
    return out;
}

ModemEngine::ModemEngine(Options options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_cnmiAllowed(parseCnmiRanges(m_options.cnmiRanges).value_or(decltype(m_cnmiAllowed){})),
      m_sim(m_options.pin, m_options.puk),
      m_registration(m_options.registration),
      m_signal(m_options.signal),
      m_random(m_options.seed) {
    for (const auto& memory : m_options.memories)
        m_memories.emplace_back(memory.name, memory.capacity);
    if (m_options.simState) m_sim.setState(*m_options.simState);
    if (m_sim.state() == SimState::Busy && m_options.simBusyFor.count() > 0) {
        QTimer::singleShot(m_options.simBusyFor, this, [this] {
            if (m_sim.state() == SimState::Busy) m_sim.setState(SimState::Ready);
        });
    }
    m_queueTimer.setSingleShot(true);
    connect(&m_queueTimer, &QTimer::timeout, this, &ModemEngine::flushQueue);
    m_ackTimer.setSingleShot(true);
    connect(&m_ackTimer, &QTimer::timeout, this, &ModemEngine::acknowledgeTimedOut);
    registerDeviceCommands();
    registerSmsCommands();
    resetSettings();
}

const MessageMemory* ModemEngine::memory(const std::string& name) const {
    for (const auto& m : m_memories) {
        if (m.name() == name) return &m;
    }
    return nullptr;
}

MessageMemory* ModemEngine::memoryRef(const std::string& name) {
    return const_cast<MessageMemory*>(std::as_const(*this).memory(name));
}

bool ModemEngine::memoryAvailable(const std::string& name) const {
    if (name == "ME" && m_options.faults.noMe) return false;
    if (name == "SM" && m_options.faults.noSm) return false;
    return memory(name) != nullptr;
}

bool ModemEngine::registered() const {
    return m_sim.ready() &&
           (m_registration == Registration::Home || m_registration == Registration::Roaming);
}

void ModemEngine::resetSettings() {
    m_echo = true;
    m_verbose = true;
    m_cmee = 0;
    m_csms = 0;
    m_cmms = 0;
    m_creg = 0;
    m_cgreg = 0;
    m_textMode = false;
    m_charset = "IRA";
    m_cnmi = m_options.savedCnmi;
    std::string first = m_memories.empty() ? "" : m_memories.front().name();
    for (const auto& m : m_memories) {
        if (memoryAvailable(m.name())) {
            first = m.name();
            break;
        }
    }
    for (auto& mem : m_mem) mem = first;
}

void ModemEngine::resetLine() {
    m_line.clear();
    m_lineOverflow = false;
    m_enteringPdu = false;
    m_pduText.clear();
    m_held.clear();
    m_queue.clear();
    m_queueTimer.stop();
}

void ModemEngine::setRegistration(Registration registration) {
    if (registration == m_registration) return;
    m_registration = registration;
    // TS 27.007 7.2 and 10.1.20: with <n>=1 or 2 a change is announced unasked, with <n>=2
    // and a network the location too.
    const bool located =
        registration == Registration::Home || registration == Registration::Roaming;
    const auto announce = [&](const char* name, int n) {
        if (n == 0) return;
        std::string line = std::string(name) + std::to_string(static_cast<int>(registration));
        if (n == 2 && located) line += kCellLocation;
        sendAnswer(formatInfo({line}));
    };
    announce("+CREG: ", m_creg);
    announce("+CGREG: ", m_cgreg);
}

bool ModemEngine::setSignal(int rssi) {
    if ((rssi < 0 || rssi > 31) && rssi != 99) return false;
    m_signal = rssi;
    return true;
}

std::string ModemEngine::setSim(std::string_view state) {
    const auto value = SimCard::stateNamed(state);
    if (!value) return "unknown SIM state \"" + std::string(state) + "\"";
    return m_sim.setState(*value);
}

std::string ModemEngine::settings() const {
    std::string cnmi;
    for (const int v : m_cnmi) cnmi += (cnmi.empty() ? "" : ",") + std::to_string(v);
    return "echo=" + std::to_string(m_echo) + " cmee=" + std::to_string(m_cmee) + " cnmi=" + cnmi +
           " cpms=" + m_mem[0] + "," + m_mem[1] + "," + m_mem[2] +
           " cmms=" + std::to_string(m_cmms) + " csms=" + std::to_string(m_csms);
}

// ---------------------------------------------------------------------------------------------
// Bytes in

void ModemEngine::input(const QByteArray& bytes) {
    if (!m_options.hostLogPath.isEmpty()) {
        // Every byte as written, control characters included: what a test checks for ESC.
        QFile log(m_options.hostLogPath);
        if (log.open(QIODevice::Append)) log.write(bytes);
    }
    if (!m_options.faults.silent) consume(bytes);
}

void ModemEngine::consume(const QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (m_submitting) {
            // The command has not finished: what comes meanwhile is taken once it has.
            m_held += bytes.mid(i);
            return;
        }
        if (m_enteringPdu) {
            if (c == kCtrlZ) {
                finishPdu();
            } else if (c == kEsc) {
                // TS 27.005 3.5.1: ESC quits without sending; the modem confirms with OK.
                m_enteringPdu = false;
                m_pduText.clear();
                sendAnswer(formatFinal(Reply{}));
                flushIndications();
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
            bool malformed = false;
            if (nameEnd != std::string::npos) {
                const std::string rest = command.substr(nameEnd);
                if (rest == "?") {
                    form = Form::Read;
                } else if (rest == "=?") {
                    form = Form::Test;
                } else if (rest[0] == '=') {
                    form = Form::Set;
                    args = rest.substr(1);
                } else {
                    malformed = true;  // a tail no handler accepts
                }
            }
            const auto it = m_commands.find(name);
            if (it == m_commands.end() || malformed) {
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
    flushIndications();
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
        reply.lines = behaviours().answers.at("I");
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
    const auto extended = [this, &reply](const char* prefix,
                                         const std::map<int, std::string>& texts) {
        const auto text = texts.find(reply.code);
        const std::string detail =
            m_cmee == 2 && text != texts.end() ? text->second : std::to_string(reply.code);
        const std::string line = prefix + detail;
        return m_verbose ? "\r\n" + line + "\r\n" : line + "\r\n";
    };
    switch (reply.final) {
        case Final::Ok:
            return m_verbose ? "\r\nOK\r\n" : "0\r";
        case Final::CmeError:
            if (m_cmee != 0) return extended("+CME ERROR: ", behaviours().cmeTexts);
            break;
        case Final::CmsError:
            if (m_cmee != 0 || reply.code == kCmsUnknownError) {
                return extended("+CMS ERROR: ", behaviours().cmsTexts);
            }
            break;
        case Final::Error:
            break;
        case Final::Prompt:
        case Final::None:
            return {};
    }
    return m_verbose ? "\r\nERROR\r\n" : "4\r";
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
    if (m_options.faults.unsolicitedPercent > 0) bytes = scatterUnsolicited(bytes);
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

// Stray lines go where a modem may put them: before an answer and after any complete line of it,
// so also between a +CMGL header and its PDU, never inside a line or after the prompt.
std::string ModemEngine::scatterUnsolicited(const std::string& bytes) {
    const auto& lines = behaviours().unsolicited;
    if (lines.empty()) return bytes;
    std::string out;
    const auto maybeInsert = [&] {
        if (static_cast<int>(m_random() % 100) >= m_options.faults.unsolicitedPercent) return;
        const std::string& line = lines[m_random() % lines.size()];
        out += m_verbose ? "\r\n" + line + "\r\n" : line + "\r\n";
    };
    maybeInsert();
    size_t lineStart = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] != '\n' || i == 0 || bytes[i - 1] != '\r') continue;
        if (i - lineStart > 1) maybeInsert();  // after a line with text, not an empty frame
        lineStart = i + 1;
    }
    return out;
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

}  // namespace telvane::simulator
