#pragma once
// Runs the engine on a thread of its own with the real port, clock and timer, so that a front
// end never waits while the engine waits up to 20 s for the phone. The front end talks to it
// only through the signals and slots below, and never waits for it without a limit.

#include <QObject>
#include <QString>
#include <QThread>
#include <chrono>
#include <memory>

#include "gateway/EngineAssembly.h"
#include "gateway/GatewayEngine.h"
#include "store/Store.h"

namespace telvane::gateway {

class EngineHost final : public QObject {
    Q_OBJECT
public:
    /// How long stop() waits by default: a poll with a few messages and a slow phone.
    static constexpr std::chrono::seconds kStopLimit{30};

    /// `openStore` gives the engine's thread its connection to the store.
    /// The engine counts into `figures`, which must outlive this.
    EngineHost(QString iniFilePath, QString homeFolder, store::StoreOpener openStore,
               contracts::EngineFigures& figures, EnginePlace place = {},
               QObject* parent = nullptr);
    /// Stops the engine (see stop()); an engine still busy after kStopLimit is left to the end
    /// of the process.
    ~EngineHost() override;

    /// Starts the engine's thread and returns at once. The engine loads there (status
    /// "Telvane"); commands sent before it has are carried out once it has.
    void launch();

    /// Asks the engine to end, after a poll in progress, and waits at most `limit` for it.
    /// True when the engine's thread has ended (or never ran).
    bool stop(std::chrono::milliseconds limit = kStopLimit);
    /// Whether the engine's thread still runs.
    bool isRunning() const;

public slots:
    void requestStart() { emit startRequested(); }
    void requestExit() { emit exitRequested(); }
    /// Start again after `ms` milliseconds (a service retries a failed start).
    void requestStartAfter(int ms) { emit startAfterRequested(ms); }
    /// A message was queued: send it now rather than at the next poll.
    void requestSend() { emit sendRequested(); }

signals:
    void statusChanged(const QString& text);
    void statusIconChanged(telvane::contracts::StatusIcon icon);
    void menuChanged(const telvane::contracts::MenuState& menu);
    void startFailed(const telvane::contracts::StartFailure& failure);
    void pollFinished(const telvane::contracts::PollTally& tally);
    void finished();
    void networkChanged(const QString& text);

    // To the engine's thread.
    void startRequested();
    void exitRequested();
    void startAfterRequested(int ms);
    void sendRequested();

private:
    void buildOnEngineThread();

    QString m_iniFilePath;
    QString m_homeFolder;
    store::StoreOpener m_openStore;
    contracts::EngineFigures& m_figures;
    EnginePlace m_place;
    // Owned, but let go of when the engine does not end: destroying a running QThread aborts.
    std::unique_ptr<QThread> m_thread;
    // Lives on the engine's thread and receives the commands there, queued until the engine
    // is built.
    std::unique_ptr<QObject> m_commands;
    struct Worker;
    Worker* m_worker = nullptr;
};

}  // namespace telvane::gateway
