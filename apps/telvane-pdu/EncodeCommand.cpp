#include <cstdio>

#include "Commands.h"

namespace telvane::pdutool {

int runEncode(const std::vector<std::string>&) {
    std::fputs("telvane-pdu: encode is not available in this build\n", stderr);
    return 1;
}

}  // namespace telvane::pdutool
