#pragma once
// telvane-modem's command line: what to build and how the modem behaves.

#include <QCoreApplication>
#include <QString>
#include <variant>

#include "ModemEngine.h"

namespace telvane::simulator {

struct ModemSetup {
    QString linkPath;
    QString mePath;  // empty: nothing preloaded
    QString smPath;
    int baud = 0;  // bits a second, 0 unpaced, PtyLink::kFollowPort for "port"
    ModemEngine::Options options;
};

/// Reads the command line, --profile expanded in front of it (prints --help and exits for it);
/// the setup, or the reason the command line is wrong.
std::variant<ModemSetup, QString> readCommandLine(const QCoreApplication& app);

}  // namespace telvane::simulator
