#include "Faults.h"

#include <charconv>

namespace telvane::simulator {

namespace {

struct Switch {
    std::string_view name;
    bool Faults::*flag;
};

constexpr Switch kSwitches[] = {
    {"silent", &Faults::silent},        {"no-me", &Faults::noMe},
    {"no-sm", &Faults::noSm},           {"error-prompt", &Faults::errorPrompt},
    {"no-prompt", &Faults::noPrompt},   {"mute-delete", &Faults::muteDelete},
    {"error-pdu", &Faults::errorPdu},   {"garbage", &Faults::garbage},
    {"cpms-three", &Faults::cpmsThree}, {"joined-cmgl", &Faults::joinedCmgl},
};

struct Setting {
    std::string_view name;
    long min, max;
    void (*apply)(Faults&, long);
};

constexpr Setting kSettings[] = {
    {"slow", 0, 600000, [](Faults& f, long v) { f.slow = std::chrono::milliseconds(v); }},
    {"slow-cmgs", 0, 600000, [](Faults& f, long v) { f.slowCmgs = std::chrono::milliseconds(v); }},
    {"unsolicited", 0, 100, [](Faults& f, long v) { f.unsolicitedPercent = static_cast<int>(v); }},
    {"cms-select", 300, 511, [](Faults& f, long v) { f.cmsSelect = static_cast<int>(v); }},
    {"cms-list", 300, 511, [](Faults& f, long v) { f.cmsList = static_cast<int>(v); }},
    {"cms-delete", 300, 511, [](Faults& f, long v) { f.cmsDelete = static_cast<int>(v); }},
    {"cms-send", 300, 511, [](Faults& f, long v) { f.cmsSend = static_cast<int>(v); }},
};

}  // namespace

std::optional<std::string> applyFault(Faults& faults, std::string_view name) {
    // The older name of cms-send=500.
    if (name == "cms-error") name = "cms-send=500";
    for (const auto& s : kSwitches) {
        if (name == s.name) {
            faults.*s.flag = true;
            return std::nullopt;
        }
    }
    const auto equals = name.find('=');
    for (const auto& s : kSettings) {
        if (name.substr(0, equals) != s.name) continue;
        const auto value = equals == std::string_view::npos ? "" : name.substr(equals + 1);
        long number = -1;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (ec != std::errc{} || end != value.data() + value.size() || number < s.min ||
            number > s.max) {
            return std::string(s.name) + "= needs a number from " + std::to_string(s.min) + " to " +
                   std::to_string(s.max) + ", got \"" + std::string(value) + "\"";
        }
        s.apply(faults, number);
        return std::nullopt;
    }
    return "unknown fault \"" + std::string(name) + "\"";
}

std::string faultNames() {
    std::string out;
    for (const auto& s : kSwitches)
        out += std::string(out.empty() ? "" : ", ") + std::string(s.name);
    out += ", cms-error";
    for (const auto& s : kSettings) out += ", " + std::string(s.name) + "=N";
    return out;
}

}  // namespace telvane::simulator
