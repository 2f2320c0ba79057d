#pragma once
// Every fixed pause of the gateway comes from here, so that the pauses can be measured and
// tuned without touching the logic. The defaults are what phones have been driven with.

namespace telvane::contracts {

struct PacingProfile {
    /// Before each command written to the phone: slow phones drop characters of a command
    /// that follows the previous answer too closely.
    int beforeCommandMs = 300;
    /// Between reading the inbox and scanning the outbox, and where a step needs a short rest.
    int shortPauseMs = 500;
    /// Where a step must let the phone settle (after a memory switch, between message parts).
    int longPauseMs = 1000;
    /// An answer is complete as soon as its final result code (or the prompt) has come, not
    /// after a silence: the port passes every chunk on at once.
    bool answerAtFinalCode = false;
    /// Echo off at connection: half of what a modem says while we send is our PDU echoed.
    bool echoOff = false;
    /// AT+CMMS=1 before the parts of a long message and 0 after them, where the modem takes
    /// it: the radio link stays up between the parts instead of being set up for each.
    bool keepLinkBetweenParts = false;

    /// For modems that need no rests between commands ([Options] Pacing=fast).
    static PacingProfile fast() { return {0, 0, 0, true, true, true}; }
};

}  // namespace telvane::contracts
