#include "replies/Replies.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace telvane::replies {

namespace {

struct Meaning {
    int number;
    std::string_view text;
};

// TS 27.005 3.2.5 <err>: 0-127 are the RP causes of TS 24.011 E-2 and 128-255 the TP-FCS values
// of TS 23.040 9.2.3.22, as the network gave them; 300 on are the phone's own.
constexpr Meaning kCms[] = {
    {1, "unassigned number"},
    {8, "operator determined barring"},
    {10, "call barred"},
    {21, "short message transfer rejected"},
    {27, "destination out of service"},
    {28, "unidentified subscriber"},
    {29, "facility rejected"},
    {30, "unknown subscriber"},
    {38, "network out of order"},
    {41, "temporary failure"},
    {42, "congestion"},
    {47, "resources unavailable"},
    {50, "requested facility not subscribed"},
    {69, "requested facility not implemented"},
    {81, "invalid short message transfer reference value"},
    {95, "invalid message"},
    {96, "invalid mandatory information"},
    {97, "message type non-existent or not implemented"},
    {98, "message not compatible with short message protocol state"},
    {99, "information element non-existent or not implemented"},
    {111, "protocol error"},
    {127, "interworking error"},
    {128, "telematic interworking not supported"},
    {129, "short message type 0 not supported"},
    {130, "cannot replace short message"},
    {143, "unspecified TP-PID error"},
    {144, "data coding scheme not supported"},
    {145, "message class not supported"},
    {159, "unspecified TP-DCS error"},
    {160, "command cannot be actioned"},
    {161, "command unsupported"},
    {175, "unspecified TP-Command error"},
    {176, "TPDU not supported"},
    {192, "SC busy"},
    {193, "no SC subscription"},
    {194, "SC system failure"},
    {195, "invalid SME address"},
    {196, "destination SME barred"},
    {197, "SM rejected, duplicate SM"},
    {198, "TP-VPF not supported"},
    {199, "TP-VP not supported"},
    {208, "SIM SMS storage full"},
    {209, "no SMS storage capability in SIM"},
    {210, "error in MS"},
    {211, "memory capacity exceeded"},
    {212, "SIM application toolkit busy"},
    {213, "SIM data download error"},
    {255, "unspecified error cause"},
    {300, "ME failure"},
    {301, "SMS service of ME reserved"},
    {302, "operation not allowed"},
    {303, "operation not supported"},
    {304, "invalid PDU mode parameter"},
    {305, "invalid text mode parameter"},
    {310, "SIM not inserted"},
    {311, "SIM PIN required"},
    {312, "PH-SIM PIN required"},
    {313, "SIM failure"},
    {314, "SIM busy"},
    {315, "SIM wrong"},
    {316, "SIM PUK required"},
    {317, "SIM PIN2 required"},
    {318, "SIM PUK2 required"},
    {320, "memory failure"},
    {321, "invalid memory index"},
    {322, "memory full"},
    {330, "SMSC address unknown"},
    {331, "no network service"},
    {332, "network timeout"},
    {340, "no +CNMA acknowledgement expected"},
    {500, "unknown error"},
};

// TS 27.007 9.2.1 and 9.2.2 <err>.
constexpr Meaning kCme[] = {
    {0, "phone failure"},
    {1, "no connection to phone"},
    {2, "phone-adaptor link reserved"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {6, "PH-FSIM PIN required"},
    {7, "PH-FSIM PUK required"},
    {10, "SIM not inserted"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "incorrect password"},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed, emergency calls only"},
    {40, "network personalization PIN required"},
    {41, "network personalization PUK required"},
    {42, "network subset personalization PIN required"},
    {43, "network subset personalization PUK required"},
    {44, "service provider personalization PIN required"},
    {45, "service provider personalization PUK required"},
    {46, "corporate personalization PIN required"},
    {47, "corporate personalization PUK required"},
    {50, "incorrect parameters"},
    {100, "unknown"},
    {103, "illegal MS"},
    {106, "illegal ME"},
    {107, "GPRS services not allowed"},
    {111, "PLMN not allowed"},
    {112, "location area not allowed"},
    {113, "roaming not allowed in this location area"},
    {148, "unspecified GPRS error"},
};

template <std::size_t N>
std::string_view lookUp(const Meaning (&table)[N], int number) {
    const auto it = std::find_if(std::begin(table), std::end(table),
                                 [number](const Meaning& m) { return m.number == number; });
    return it == std::end(table) ? std::string_view() : it->text;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The lines of a reply, blanks trimmed, empty ones left out; CR, LF and CR LF all end a line.
std::vector<std::string_view> linesOf(std::string_view reply) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= reply.size(); ++i) {
        if (i < reply.size() && reply[i] != '\r' && reply[i] != '\n') continue;
        if (const std::string_view line = trimmed(reply.substr(start, i - start)); !line.empty())
            lines.push_back(line);
        start = i + 1;
    }
    return lines;
}

std::optional<int> number(std::string_view text) {
    text = trimmed(text);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The comma-separated fields of an information line; quotes are kept, commas inside them are
// not separators.
std::vector<std::string_view> fieldsOf(std::string_view text) {
    std::vector<std::string_view> fields;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] == '"') quoted = !quoted;
        if (i < text.size() && (quoted || text[i] != ',')) continue;
        fields.push_back(trimmed(text.substr(start, i - start)));
        start = i + 1;
    }
    return fields;
}

std::optional<std::string> lastLine(std::string_view reply, std::string_view prefix) {
    std::vector<std::string> lines = informationLines(reply, prefix);
    if (lines.empty()) return std::nullopt;
    return lines.back();
}

}  // namespace

std::string_view cmsMeaning(int number) { return lookUp(kCms, number); }
std::string_view cmeMeaning(int number) { return lookUp(kCme, number); }

FinalResult finalResultOf(std::string_view reply) {
    FinalResult result;
    for (const std::string_view line : linesOf(reply)) {
        const bool cme = line.starts_with("+CME ERROR");
        const bool cms = line.starts_with("+CMS ERROR");
        if (line == "OK") {
            result = {FinalResult::Kind::Ok, std::nullopt, {}};
        } else if (line == "ERROR") {
            result = {FinalResult::Kind::Error, std::nullopt, {}};
        } else if (cme || cms) {
            std::string_view detail = line.substr(10);
            if (!detail.empty() && detail.front() == ':') detail.remove_prefix(1);
            detail = trimmed(detail);
            result = {cme ? FinalResult::Kind::CmeError : FinalResult::Kind::CmsError,
                      number(detail),
                      {}};
            if (!result.number) result.words = std::string(detail);
        }
    }
    return result;
}

std::string describe(const FinalResult& result) {
    switch (result.kind) {
        case FinalResult::Kind::None:
        case FinalResult::Kind::Ok:
            return {};
        case FinalResult::Kind::Error:
            return "ERROR";
        case FinalResult::Kind::CmeError:
        case FinalResult::Kind::CmsError:
            break;
    }
    const bool cms = result.kind == FinalResult::Kind::CmsError;
    std::string text = cms ? "+CMS ERROR: " : "+CME ERROR: ";
    if (!result.number) return text + result.words;
    text += std::to_string(*result.number);
    const std::string_view meaning = cms ? cmsMeaning(*result.number) : cmeMeaning(*result.number);
    if (!meaning.empty()) text += " (" + std::string(meaning) + ")";
    return text;
}

std::vector<std::string> informationLines(std::string_view reply, std::string_view prefix) {
    std::vector<std::string> out;
    for (const std::string_view line : linesOf(reply)) {
        if (line.starts_with(prefix)) out.emplace_back(trimmed(line.substr(prefix.size())));
    }
    return out;
}

std::optional<SimReport> simReportOf(std::string_view reply) {
    if (const auto line = lastLine(reply, "+CPIN:")) {
        std::string text = *line;
        if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
            text = text.substr(1, text.size() - 2);
        const SimState state = text == "READY"     ? SimState::Ready
                               : text == "SIM PIN" ? SimState::Pin
                               : text == "SIM PUK" ? SimState::Puk
                                                   : SimState::Other;
        return SimReport{state, text};
    }
    const FinalResult final = finalResultOf(reply);
    if (!final.isError()) return std::nullopt;
    // TS 27.007 9.2.1: the SIM's own conditions, also in words where AT+CMEE=2 is on.
    const std::string& words = final.words;
    const int n = final.number.value_or(-1);
    const bool cme = final.kind == FinalResult::Kind::CmeError;
    SimState state = SimState::Other;
    if ((cme && n == 10) || words == "SIM not inserted") state = SimState::NotInserted;
    if ((cme && n == 14) || words == "SIM busy") state = SimState::Busy;
    if ((cme && n == 11) || words == "SIM PIN required") state = SimState::Pin;
    if ((cme && n == 12) || words == "SIM PUK required") state = SimState::Puk;
    return SimReport{state, describe(final)};
}

std::optional<int> registrationOf(std::string_view reply) {
    const auto line = lastLine(reply, "+CREG:");
    if (!line) return std::nullopt;
    const std::vector<std::string_view> fields = fieldsOf(*line);
    // <n>,<stat>[,...] when the second field is a state; else the unsolicited <stat>[,<lac>...].
    if (fields.size() >= 2) {
        if (const auto stat = number(fields[1]); stat && *stat >= 0 && *stat <= 11) return stat;
    }
    return number(fields[0]);
}

std::optional<std::string> operatorOf(std::string_view reply) {
    const auto line = lastLine(reply, "+COPS:");
    if (!line) return std::nullopt;
    const std::vector<std::string_view> fields = fieldsOf(*line);
    if (fields.size() < 3) return std::nullopt;
    std::string_view name = fields[2];
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    if (trimmed(name).empty()) return std::nullopt;
    return std::string(trimmed(name));
}

std::optional<std::string> modelOf(std::string_view reply) {
    for (const std::string_view line : linesOf(reply)) {
        if (line.starts_with("AT") || line.starts_with("at") || line == "OK" ||
            line.find("ERROR") != std::string_view::npos)
            continue;
        if (!line.empty()) return std::string(line);
    }
    return std::nullopt;
}

bool isRegistered(int stat) { return stat == 1 || (stat >= 5 && stat <= 10); }

bool blocksSending(int stat) { return stat == 0 || stat == 2 || stat == 3; }

std::optional<int> signalOf(std::string_view reply) {
    const auto line = lastLine(reply, "+CSQ:");
    if (!line) return std::nullopt;
    const auto rssi = number(fieldsOf(*line)[0]);
    if (!rssi || *rssi < 0 || (*rssi > 31 && *rssi != 99)) return std::nullopt;
    return rssi;
}

std::vector<std::string> memoriesOf(std::string_view reply) {
    const auto line = lastLine(reply, "+CPMS:");
    if (!line) return {};
    std::string_view first = *line;
    if (const auto open = first.find('('); open != std::string_view::npos) {
        first = first.substr(open + 1);
        first = first.substr(0, first.find(')'));
    }
    std::vector<std::string> memories;
    // Names hold no commas; splitting at each one also reads a list with a quote missing.
    std::vector<std::string_view> fields;
    for (std::size_t at; (at = first.find(',')) != std::string_view::npos;
         first.remove_prefix(at + 1))
        fields.push_back(first.substr(0, at));
    fields.push_back(first);
    for (std::string_view field : fields) {
        while (!field.empty() && (field.front() == '"' || isBlank(field.front())))
            field.remove_prefix(1);
        while (!field.empty() && (field.back() == '"' || isBlank(field.back())))
            field.remove_suffix(1);
        if (!field.empty() && std::find(memories.begin(), memories.end(), field) == memories.end())
            memories.emplace_back(field);
    }
    return memories;
}

std::optional<int> smsServiceOf(std::string_view reply) {
    const auto line = lastLine(reply, "+CSMS:");
    return line ? number(fieldsOf(*line)[0]) : std::nullopt;
}

std::optional<int> messageReferenceOf(std::string_view reply) {
    const auto line = lastLine(reply, "+CMGS:");
    return line ? number(fieldsOf(*line)[0]) : std::nullopt;
}

bool isHexLine(std::string_view line) {
    std::size_t digits = 0;
    for (const char c : line) {
        if (isBlank(c)) continue;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!hex) return false;
        ++digits;
    }
    return digits > 0 && digits % 2 == 0;
}

void DeliveryScanner::feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (c != '\r' && c != '\n') {
            // A line longer than any PDU is no delivery; keep only its start.
            if (m_partial.size() < 1024) m_partial.push_back(c);
            continue;
        }
        if (const std::string_view text = trimmed(m_partial); !text.empty()) line(text);
        m_partial.clear();
    }
}

void DeliveryScanner::line(std::string_view text) {
    if (m_awaitingPdu) {
        const bool report = *m_awaitingPdu;
        m_awaitingPdu.reset();
        if (isHexLine(text)) {
            std::string pdu;
            for (const char c : text)
                if (!isBlank(c)) pdu.push_back(c);
            m_found.push_back({report, std::move(pdu)});
            m_noticed = true;
            return;
        }
    }
    // PDU mode: "+CMT: [<alpha>],<length>" and "+CDS: <length>"; the text-mode forms carry more
    // fields and no PDU line, and are passed over by the check above.
    if (text.starts_with("+CMT:")) m_awaitingPdu = false;
    if (text.starts_with("+CDS:")) m_awaitingPdu = true;
    if (text.starts_with("+CMTI:") || text.starts_with("+CDSI:")) m_noticed = true;
}

std::vector<Delivery> DeliveryScanner::take() { return std::exchange(m_found, {}); }

}  // namespace telvane::replies
