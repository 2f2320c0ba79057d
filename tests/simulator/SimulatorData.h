#pragma once
// The PDU files under tests/data/simulator: one PDU per line, # starts a comment line.

#include <QStringList>
#include <fstream>
#include <string>
#include <vector>

namespace telvane::test {

inline std::string simulatorDataPath(const std::string& name) {
    return std::string(TELVANE_TEST_DATA) + "/simulator/" + name;
}

inline std::vector<std::string> pduLines(const std::string& name) {
    std::ifstream in(simulatorDataPath(name));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    }
    return lines;
}

inline QStringList pduList(const std::string& name) {
    QStringList out;
    for (const auto& line : pduLines(name)) out << QString::fromStdString(line);
    return out;
}

}  // namespace telvane::test
