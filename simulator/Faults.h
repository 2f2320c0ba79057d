#pragma once
// Scripted misbehaviour, chosen with --fault on the command line.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace telvane::simulator {

struct Faults {
    bool silent = false;                // reads everything, answers nothing (not even the echo)
    bool noMe = false;                  // the phone memory cannot be selected
    bool noSm = false;                  // no SIM: its memory cannot be selected
    bool errorPrompt = false;           // ERROR instead of the "> " prompt
    bool noPrompt = false;              // AT+CMGS gets no answer at all
    bool muteDelete = false;            // AT+CMGD gets no answer and deletes nothing
    bool errorPdu = false;              // ERROR after the PDU
    bool cmsError = false;              // "+CMS ERROR: 500" after the PDU
    bool garbage = false;               // noise bytes in front of every answer
    std::chrono::milliseconds slow{0};  // every answer is held back this long
};

/// Applies one --fault value ("silent", "slow=250", ...); the error text names what was wrong.
std::optional<std::string> applyFault(Faults& faults, std::string_view name);

/// The names applyFault accepts, for --help.
std::string_view faultHelp();

}  // namespace telvane::simulator
