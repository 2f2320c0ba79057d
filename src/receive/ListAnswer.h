#pragma once
// The answer to "AT+CMGL=4" in PDU mode (3GPP TS 27.005 3.4.2), read by its structure: each
// "+CMGL: <index>,<stat>,[<alpha>],<length>" line followed by its PDU line. Pure: no Qt, no I/O,
// so that a fuzzer can feed it directly.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane::receive {

/// One listed message: its memory index and its PDU as hexadecimal text (blanks removed).
struct ListEntry {
    std::uint32_t index = 0;
    std::string pdu;
    std::size_t line = 0;  ///< 1-based line of the header in the answer
};

/// A part of the answer that looked like an entry but could not be read as one. When the index
/// could be read it is given, so that the caller can name the message it leaves in the phone.
struct ListProblem {
    std::size_t line = 0;  ///< 1-based line in the answer
    std::optional<std::uint32_t> index;
    std::string reason;  ///< English, for the log
    std::string text;    ///< the offending line, cut to 200 characters
};

struct ListAnswer {
    std::vector<ListEntry> entries;  ///< in the order of the answer
    std::vector<ListProblem> problems;
};

/// The highest memory index accepted from a header line.
inline constexpr std::uint32_t kMaxMemoryIndex = 65535;

/// Reads every entry of a list answer. Lines end at CR, LF or CR LF; empty lines, the command
/// echo, "OK" and unsolicited lines between entries are passed over. A header line gives only
/// its index (the digits between "+CMGL:" and the first comma); its other fields, a quoted
/// alphanumeric one included, are not read. A "+CMGL:" inside a line starts a new line (a PDU
/// run into the next header). The line after a header, unsolicited lines ("^RSSI:13", "RING",
/// "+CMTI: ...") passed over, is its PDU line: it must be hexadecimal digits (blanks allowed)
/// of even count, else the entry becomes a problem. A hexadecimal line longer than 25
/// characters without a header before it is a problem too.
ListAnswer parseListAnswer(std::string_view answer);

}  // namespace telvane::receive
