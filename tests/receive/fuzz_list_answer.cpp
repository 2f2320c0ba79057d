// libFuzzer target: any bytes as a list answer give entries and problems, never a crash, and
// every entry holds an index in range and an even count of hexadecimal digits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "receive/ListAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    const auto list = telvane::receive::parseListAnswer(answer);
    for (const auto& entry : list.entries) {
        if (entry.index > telvane::receive::kMaxMemoryIndex) std::abort();
        if (entry.pdu.empty() || entry.pdu.size() % 2 != 0) std::abort();
        for (const char c : entry.pdu) {
            const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
            if (!hex) std::abort();
        }
    }
    if (list.entries.size() + list.problems.size() > size) std::abort();
    return 0;
}
