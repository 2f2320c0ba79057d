#include "Faults.h"

#include <charconv>

namespace telvane::simulator {

std::optional<std::string> applyFault(Faults& faults, std::string_view name) {
    if (name == "silent")
        faults.silent = true;
    else if (name == "no-me")
        faults.noMe = true;
    else if (name == "no-sm")
        faults.noSm = true;
    else if (name == "error-prompt")
        faults.errorPrompt = true;
    else if (name == "no-prompt")
        faults.noPrompt = true;
    else if (name == "mute-delete")
        faults.muteDelete = true;
    else if (name == "error-pdu")
        faults.errorPdu = true;
    else if (name == "cms-error")
        faults.cmsError = true;
    else if (name == "garbage")
        faults.garbage = true;
    else if (name.starts_with("slow=")) {
        const auto value = name.substr(5);
        long ms = -1;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
        if (ec != std::errc{} || end != value.data() + value.size() || ms < 0 || ms > 600000) {
            return "slow= needs a delay in milliseconds from 0 to 600000, got \"" +
                   std::string(value) + "\"";
        }
        faults.slow = std::chrono::milliseconds(ms);
    } else {
        return "unknown fault \"" + std::string(name) + "\"";
    }
    return std::nullopt;
}

std::string_view faultHelp() {
    return "silent, no-me, no-sm, error-prompt, no-prompt, error-pdu, cms-error, slow=MS, garbage, "
           "mute-delete";
}

}  // namespace telvane::simulator
