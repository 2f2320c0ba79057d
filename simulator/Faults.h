#pragma once
// Scripted misbehaviour, chosen with --fault on the command line.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace telvane::simulator {

struct Faults {
    bool silent = false;                    // reads everything, answers nothing (not even the echo)
    bool noMe = false;                      // the phone memory cannot be selected
    bool noSm = false;                      // no SIM: its memory cannot be selected
    bool errorPrompt = false;               // ERROR instead of the "> " prompt
    bool noPrompt = false;                  // AT+CMGS gets no answer at all
    bool muteDelete = false;                // AT+CMGD gets no answer and deletes nothing
    bool errorPdu = false;                  // ERROR after the PDU
    bool garbage = false;                   // noise bytes in front of every answer
    bool cpmsThree = false;                 // AT+CPMS takes three memories or none
    bool joinedCmgl = false;                // no line break between a PDU and the next +CMGL:
    std::chrono::milliseconds slow{0};      // every answer is held back this long
    std::chrono::milliseconds slowCmgs{0};  // +CMGS comes this long after the PDU
    int unsolicitedPercent = 0;             // line boundaries of answers that get a stray line
    // +CMS ERROR numbers for each step (0: the step works).
    int cmsSelect = 0;
    int cmsList = 0;
    int cmsDelete = 0;
    int cmsSend = 0;
};

/// Applies one --fault value ("silent", "slow=250", ...); the error text names what was wrong.
std::optional<std::string> applyFault(Faults& faults, std::string_view name);

/// The names applyFault accepts, for error messages.
std::string faultNames();

}  // namespace telvane::simulator
