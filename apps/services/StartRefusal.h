#pragma once
// Both programs take their home folder first: a second gateway on it would fight the first for
// the port and the settings file. What they do when they cannot: the exit status they end with
// and what they say, the service on one line, the tray in a message box.

#include <QString>
#include <optional>

#include "gateway/SingleInstance.h"

namespace telvane::services {

/// Exit statuses of both programs: another gateway holds the home; its lock file could not be
/// written (sysexits' EX_CANTCREAT).
enum ExitCode { AlreadyRunning = 3, LockNotWritten = 73 };

struct StartRefusal {
    int exitCode = 0;
    QString title;       ///< of the message box; empty: the program's own
    QString text;        ///< what the box says
    QString line;        ///< the same on one line, for standard error
    QString objectName;  ///< the box's
};

/// Nothing when this process holds its home; otherwise why it must end.
std::optional<StartRefusal> startRefusal(const gateway::SingleInstance& instance);

}  // namespace telvane::services
