#pragma once
// The modem's data: fixed answers, error texts, stray unsolicited lines and device profiles, read
// from behaviours.txt (built into the program) so that what the modem says stays a table.

#include <map>
#include <string>
#include <vector>

namespace telvane::simulator {

struct Behaviours {
    /// "+CGMI" -> the lines of its information text.
    std::map<std::string, std::vector<std::string>> answers;
    std::map<int, std::string> cmeTexts;
    std::map<int, std::string> cmsTexts;
    std::vector<std::string> unsolicited;
    /// Profile name -> the command-line options it stands for.
    std::map<std::string, std::vector<std::string>> profiles;
    /// The "Real devices" part of --help, with the profiles listed after it.
    std::string help;
};

/// Parses the text of behaviours.txt.
Behaviours parseBehaviours(const std::string& text);

/// The built-in table.
const Behaviours& behaviours();

}  // namespace telvane::simulator
