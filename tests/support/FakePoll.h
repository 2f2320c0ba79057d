#pragma once
// Everything a poll hands the inbox and the outbox, over a temporary home folder: the settings,
// the working settings read from them as a Start does, the fake phone, the recording status,
// the fake clock, the home's store, and the disk and "Log.txt" behind failing seams.

#include "config/Settings.h"
#include "contracts/PollContext.h"
#include "gateway/GatewayEngine.h"
#include "store/SqliteStore.h"
#include "support/FailingFileSystem.h"
#include "support/FailingStore.h"
#include "support/FakeClock.h"
#include "support/FakePhone.h"
#include "support/Home.h"
#include "support/RecordingStatus.h"

namespace telvane::test {

struct FakePoll : Home {
    explicit FakePoll(const QByteArray& ini = {}) {
        writeIni(ini);
        start();
    }
    /// Reads the working settings again, as a Start (and, for AutoScroll, a load) does.
    void start() {
        gateway::readWorkingSettings(settings, working);
        working.autoScroll = settings.strictInt16(config::setting::AutoScroll) == 1;
        logWriter.setPlace(working.logFolder, working.encoding);
    }
    contracts::PollContext context() {
        return {phone,  status, working, settings, clock,    clock,
                pacing, clock,  store,   figures,  logWriter};
    }

    config::Settings settings{path(QStringLiteral("Telvane.ini")), dir.path()};
    contracts::WorkingSettings working;
    FakePhone phone;
    RecordingStatus status;
    FakeClock clock;
    contracts::PacingProfile pacing;
    /// The home's own store, as the gateway keeps it there, behind writes that fail on demand.
    FailingStore store{store::SqliteStore::opener(path(QStringLiteral("telvane.db")))};
    contracts::EngineFigures figures;
    /// The disk of the inbox and of "Log.txt", failing on demand.
    FailingFileSystem files;
    storage::LogWriter logWriter{files, [this] { return clock.now(); }};
};

}  // namespace telvane::test
