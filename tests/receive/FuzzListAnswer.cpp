// libFuzzer target: any bytes as a list answer give entries and problems, never a crash, and
// every entry holds an index in range and an even count of hexadecimal digits.
#include <cstdlib>
#include <string_view>

#include "receive/ListAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const auto list =
        telvane::receive::parseListAnswer({reinterpret_cast<const char*>(data), size});
    for (const auto& entry : list.entries) {
        if (entry.index > telvane::receive::kMaxMemoryIndex || entry.pdu.empty() ||
            entry.pdu.size() % 2)
            std::abort();
        if (entry.pdu.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
            std::abort();
    }
    if (list.entries.size() + list.problems.size() > size) std::abort();
    return 0;
}
