#include "Behaviours.h"

#include <QFile>
#include <sstream>

namespace telvane::simulator {

namespace {

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) {
        if (!field.empty()) fields.push_back(field);
    }
    return fields;
}

}  // namespace

Behaviours parseBehaviours(const std::string& text) {
    Behaviours out;
    std::string section;
    std::string profileHelp;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('#')) continue;
        if (line.starts_with('[') && line.ends_with(']')) {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        if (section == "help") {
            out.help += line + "\n";
            continue;
        }
        auto fields = split(line, '\t');
        if (fields.empty()) continue;
        if (section == "answers") {
            out.answers[fields[0]].assign(fields.begin() + 1, fields.end());
        } else if (section == "cme" && fields.size() == 2) {
            out.cmeTexts[std::stoi(fields[0])] = fields[1];
        } else if (section == "cms" && fields.size() == 2) {
            out.cmsTexts[std::stoi(fields[0])] = fields[1];
        } else if (section == "unsolicited") {
            out.unsolicited.push_back(fields[0]);
        } else if (section == "profiles" && fields.size() == 3) {
            out.profiles[fields[0]] = split(fields[1], ' ');
            profileHelp += "  " + fields[0] + ": " + fields[1] + "\n      " + fields[2] + "\n";
        }
    }
    out.help += "\nDevice profiles (--profile NAME):\n" + profileHelp;
    return out;
}

const Behaviours& behaviours() {
    static const Behaviours table = [] {
        QFile file(QStringLiteral(":/telvane-modem/behaviours.txt"));
        file.open(QIODevice::ReadOnly);
        return parseBehaviours(file.readAll().toStdString());
    }();
    return table;
}

}  // namespace telvane::simulator
