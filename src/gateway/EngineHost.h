#pragma once
// Runs the engine on a thread of its own with the real port, clock and timer, so that a front
// end never waits while the engine waits up to 20 s for the phone. The front end talks to it
// only through the signals and slots below.

#include <QObject>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include "gateway/GatewayEngine.h"

namespace telvane::gateway {

class EngineHost final : public QObject {
    Q_OBJECT
public:
    EngineHost(QString iniFilePath, QString homeFolder, QObject* parent = nullptr);
    ~EngineHost() override;

    /// Starts the engine's thread and the engine's load; the status is "Telvane" afterwards.
    void launch();

public slots:
    void requestStart() { emit startRequested(); }
    void requestExit() { emit exitRequested(); }
    /// Start again after `ms` milliseconds (a service retries a failed start).
    void requestStartAfter(int ms) { emit startAfterRequested(ms); }

signals:
    void statusChanged(const QString& text);
    void statusIconChanged(int index);
    void menuChanged(const telvane::contracts::MenuState& menu);
    void startFailed(const telvane::gateway::StartFailure& failure);
    void finished();
    void networkChanged(const QString& text);

    // To the engine's thread.
    void startRequested();
    void exitRequested();
    void startAfterRequested(int ms);

private:
    void buildOnEngineThread();

    QString m_iniFilePath;
    QString m_homeFolder;
    QThread m_thread;
    QSemaphore m_built;
    struct Worker;
    Worker* m_worker = nullptr;
};

}  // namespace telvane::gateway
