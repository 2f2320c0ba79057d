// telvane-pdu decode [--json] HEX: one PDU line in, the record the gateway would store out.
#include <cstdio>
#include <string>
#include <variant>

#include "Commands.h"
#include "HomeSettings.h"
#include "codec/Alphabets.h"
#include "codec/MessageRecord.h"
#include "codec/PduDecoder.h"

namespace telvane::pdutool {

namespace {

using namespace telvane::codec;

std::string utf8(std::u32string_view text) { return unicodeToUtf8(text); }

std::string jsonString(std::string_view utf8Text) {
    std::string out = "\"";
    for (char c : utf8Text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

const char* kindName(MessageKind kind) {
    switch (kind) {
        case MessageKind::Deliver:
            return "deliver";
        case MessageKind::StatusReport:
            return "status-report";
        case MessageKind::Submit:
            return "submit";
    }
    return "";
}

const char* codingName(Coding coding) {
    switch (coding) {
        case Coding::Gsm7:
            return "gsm7";
        case Coding::Ucs2:
            return "ucs2";
        case Coding::EightBit:
            return "8bit";
    }
    return "";
}

// The record's time stamp followed by the zone the centre sent, e.g. "05.12.26 21:07:30 +03:00";
// without a zone when the centre's was not decimal.
std::string jsonTimeStamp(const std::optional<TimeStamp>& stamp) {
    if (!stamp) return "null";
    if (!stamp->tzQuarterHours) return jsonString(utf8(formatTimeStamp(*stamp)));
    const int minutes = *stamp->tzQuarterHours * 15;
    const int magnitude = minutes < 0 ? -minutes : minutes;
    char zone[16];
    std::snprintf(zone, sizeof zone, " %c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return jsonString(utf8(formatTimeStamp(*stamp)) + zone);
}

std::string json(const DecodedPdu& pdu, const MessageRecord& record) {
    std::string out = "{\"type\":";
    out += jsonString(kindName(pdu.kind));
    out += ",\"smsc\":" + jsonString(pdu.smsc);
    out += ",\"number\":" + jsonString(utf8(record.number));
    out += ",\"timestamp\":" + jsonTimeStamp(pdu.timestamp);
    out += ",\"coding\":" + jsonString(codingName(pdu.coding));
    out += ",\"text\":" + jsonString(utf8(record.text));
    out += ",\"concat\":";
    if (pdu.concat && pdu.kind != MessageKind::StatusReport) {
        out += "{\"ref\":" + std::to_string(pdu.concat->ref) +
               ",\"ref_bits\":" + std::to_string(pdu.concat->refBits) +
               ",\"total\":" + std::to_string(pdu.concat->total) +
               ",\"seq\":" + std::to_string(pdu.concat->seq) + "}";
    } else {
        out += "null";
    }
    out += ",\"status\":";
    if (pdu.status) {
        char status[3];
        std::snprintf(status, sizeof status, "%02X", static_cast<unsigned>(*pdu.status));
        out += jsonString(status);
    } else {
        out += "null";
    }
    return out + "}";
}

int usageError(const char* message) {
    std::fprintf(stderr,
                 "telvane-pdu decode: %s (usage: telvane-pdu decode [--home DIR] [--json] HEX)\n",
                 message);
    return 1;
}

}  // namespace

int runDecode(const std::vector<std::string>& args) {
    bool asJson = false;
    const std::string* hex = nullptr;
    const std::string* home = nullptr;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json") {
            asJson = true;
        } else if (arg == "--home") {
            if (i + 1 == args.size()) return usageError("--home needs a folder");
            home = &args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError(("unknown option " + arg).c_str());
        } else if (hex) {
            return usageError("more than one PDU given");
        } else {
            hex = &arg;
        }
    }
    if (!hex) return usageError("no PDU given");

    const DecodeResult result = decodePduHex(*hex);
    if (const auto* error = std::get_if<DecodeError>(&result)) {
        std::fprintf(stderr, "telvane-pdu decode: %s\n", describe(*error).c_str());
        return 1;
    }
    const DecodedPdu& pdu = std::get<DecodedPdu>(result);
    // The report texts are the home's, as the gateway would store them; else the defaults.
    const MessageRecord record = messageRecord(pdu, home ? reportTextsOf(*home) : ReportTexts{});
    if (asJson) {
        std::printf("%s\n", json(pdu, record).c_str());
    } else {
        std::printf("%s%s\t%s\t%s\n", utf8(record.partMarker).c_str(),
                    utf8(record.timeStamp).c_str(), utf8(record.number).c_str(),
                    utf8(record.text).c_str());
    }
    return 0;
}

}  // namespace telvane::pdutool
