// telvane-pdu encode: the PDUs the gateway submits for one message, one line per part.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "Commands.h"
#include "HomeSettings.h"
#include "codec/Alphabets.h"
#include "codec/Submit.h"

namespace telvane::pdutool {

namespace {

struct EncodeArgs {
    codec::SubmitOptions options;
    bool json = false;
    std::string number;
    std::string text;
};

int usageError(const std::string& why) {
    std::fprintf(stderr, "telvane-pdu encode: %s\n", why.c_str());
    std::fputs(
        "usage: telvane-pdu encode [--home DIR] [--smsc NUMBER] [--report] [--latin] [--ref N] "
        "[--json] NUMBER TEXT\n",
        stderr);
    return 1;
}

std::optional<int> parseInt(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

// The home's sending settings come first (as the gateway reads them), the flags over them.
std::optional<std::string> homeOf(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size() && args[i] != "--"; ++i)
        if (args[i] == "--home") return args[i + 1];
    return std::nullopt;
}

// Options first; "--" ends them so that a text beginning with "-" can be given.
std::variant<EncodeArgs, std::string> parseArgs(const std::vector<std::string>& args) {
    EncodeArgs parsed;
    if (const auto home = homeOf(args)) parsed.options = sendingOptionsOf(*home);
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg[1] != '-') {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--report") {
            parsed.options.report = true;
        } else if (arg == "--latin") {
            parsed.options.toLatin = true;
        } else if (arg == "--json") {
            parsed.json = true;
        } else if (arg == "--home" || arg == "--smsc" || arg == "--ref") {
            if (i + 1 == args.size()) return arg + " needs a value";
            const std::string& value = args[++i];
            if (arg == "--home") {
                continue;  // read before the flags
            } else if (arg == "--smsc") {
                parsed.options.smsc = value;
            } else if (auto ref = parseInt(value)) {
                parsed.options.lastLongId = *ref;
            } else {
                return "--ref takes a whole number, not '" + value + "'";
            }
        } else {
            return "unknown option " + arg;
        }
    }
    if (positional.size() != 2) return "expected NUMBER and TEXT";
    parsed.number = positional[0];
    parsed.text = positional[1];
    return parsed;
}

const char* codingName(codec::SubmitCoding coding) {
    return coding == codec::SubmitCoding::Gsm7 ? "gsm7" : "ucs2";
}

void printJson(const codec::SubmitMessage& message) {
    // Every value is a number, a hex string or a fixed word: nothing needs escaping.
    std::fputs("[", stdout);
    for (std::size_t i = 0; i < message.parts.size(); ++i) {
        const codec::SubmitPart& part = message.parts[i];
        std::printf("%s\n  {\"length\": %zu, \"pdu\": \"%s\", \"coding\": \"%s\", \"part\": %zu}",
                    i == 0 ? "" : ",", part.tpduLength, part.pdu.c_str(), codingName(part.coding),
                    part.number);
    }
    std::fputs("\n]\n", stdout);
}

}  // namespace

int runEncode(const std::vector<std::string>& args) {
    auto parsed = parseArgs(args);
    if (auto* why = std::get_if<std::string>(&parsed)) return usageError(*why);
    const EncodeArgs& encodeArgs = std::get<EncodeArgs>(parsed);

    const std::u32string text = codec::utf8ToUnicode(encodeArgs.text);
    // Malformed UTF-8 would otherwise go out as U+FFFD replacement characters.
    if (codec::unicodeToUtf8(text) != encodeArgs.text) {
        std::fputs("telvane-pdu encode: TEXT is not valid UTF-8\n", stderr);
        return 1;
    }

    const codec::SubmitResult result =
        codec::encodeSubmit(encodeArgs.number, text, encodeArgs.options);
    if (auto* error = std::get_if<codec::SubmitError>(&result)) {
        std::fprintf(stderr, "telvane-pdu encode: %s\n", codec::describe(*error).c_str());
        return 1;
    }
    const codec::SubmitMessage& message = std::get<codec::SubmitMessage>(result);
    if (encodeArgs.json) {
        printJson(message);
    } else {
        for (const codec::SubmitPart& part : message.parts) {
            std::printf("%zu %s\n", part.tpduLength, part.pdu.c_str());
        }
    }
    return 0;
}

}  // namespace telvane::pdutool
