#pragma once
// The subcommands of telvane-pdu. Each returns the process exit status.

#include <string>
#include <vector>

namespace telvane::pdutool {

int runDecode(const std::vector<std::string>& args);
int runEncode(const std::vector<std::string>& args);

}  // namespace telvane::pdutool
