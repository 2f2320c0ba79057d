// telvane-pdu: decode and encode SMS PDUs exactly as the gateway does.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"

namespace {

void printUsage(std::FILE* out) {
    std::fputs(
        "Usage:\n"
        "  telvane-pdu decode [--home DIR] [--json] HEX\n"
        "  telvane-pdu encode [--home DIR] [--smsc NUMBER] [--report] [--latin] [--ref N] "
        "[--json]\n"
        "                     NUMBER TEXT\n"
        "--home DIR reads the report texts and the sending settings of that home's Telvane.ini.\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 1;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "decode") return telvane::pdutool::runDecode(args);
    if (command == "encode") return telvane::pdutool::runEncode(args);
    if (command == "--help" || command == "-h") {
        printUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "telvane-pdu: unknown command '%s'\n", command.c_str());
    printUsage(stderr);
    return 1;
}
