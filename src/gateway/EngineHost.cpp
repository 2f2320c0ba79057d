#include "gateway/EngineHost.h"

#include <QTimer>

#include "gateway/EngineAssembly.h"
#include "gateway/QtTickSource.h"

namespace telvane::gateway {

// Everything that lives on the engine's thread.
struct EngineHost::Worker {
    Worker(const QString& iniFilePath, const QString& homeFolder)
        : parts(iniFilePath, homeFolder, ticks) {}

    QtTickSource ticks;
    EngineAssembly parts;
};

EngineHost::EngineHost(QString iniFilePath, QString homeFolder, QObject* parent)
    : QObject(parent), m_iniFilePath(std::move(iniFilePath)), m_homeFolder(std::move(homeFolder)) {
    qRegisterMetaType<telvane::gateway::StartFailure>();
    qRegisterMetaType<telvane::contracts::MenuState>();
    m_thread.setObjectName(QStringLiteral("telvane-engine"));
    connect(&m_thread, &QThread::started, [this] { buildOnEngineThread(); });
}

EngineHost::~EngineHost() {
    m_thread.quit();
    m_thread.wait();
}

void EngineHost::launch() {
    m_thread.start();
    m_built.acquire();
}

void EngineHost::buildOnEngineThread() {
    m_worker = new Worker(m_iniFilePath, m_homeFolder);
    // The engine's objects end on their own thread, as its event loop ends.
    connect(
        &m_thread, &QThread::finished, &m_thread,
        [this] {
            delete m_worker;
            m_worker = nullptr;
        },
        Qt::DirectConnection);
    GatewayEngine* engine = &m_worker->parts.engine();

    connect(&m_worker->ticks, &QtTickSource::tick, engine, &GatewayEngine::Timer1_Timer);
    connect(this, &EngineHost::startRequested, engine, &GatewayEngine::itmStart_Click);
    connect(this, &EngineHost::exitRequested, engine, &GatewayEngine::itmExit_Click);
    connect(this, &EngineHost::startAfterRequested, engine,
            [engine](int ms) { QTimer::singleShot(ms, engine, &GatewayEngine::itmStart_Click); });
    connect(engine, &GatewayEngine::statusChanged, this, &EngineHost::statusChanged);
    connect(engine, &GatewayEngine::statusIconChanged, this, &EngineHost::statusIconChanged);
    connect(engine, &GatewayEngine::menuChanged, this, &EngineHost::menuChanged);
    connect(engine, &GatewayEngine::startFailed, this, &EngineHost::startFailed);
    connect(engine, &GatewayEngine::finished, this, &EngineHost::finished);
    connect(engine, &GatewayEngine::networkChanged, this, &EngineHost::networkChanged);
    engine->load();
    m_built.release();
}

}  // namespace telvane::gateway
