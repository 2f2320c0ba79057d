#include "gateway/EngineHost.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QTimer>

#include "gateway/EngineAssembly.h"
#include "gateway/QtTickSource.h"

Q_LOGGING_CATEGORY(lcHost, "telvane.gateway.host", QtInfoMsg)

namespace telvane::gateway {

// Everything that lives on the engine's thread.
struct EngineHost::Worker {
    Worker(const QString& iniFilePath, const QString& homeFolder,
           const store::StoreOpener& openStore, contracts::EngineFigures& figures,
           const EnginePlace& place)
        : parts(iniFilePath, homeFolder, ticks, openStore, figures, place) {}

    QtTickSource ticks;
    EngineAssembly parts;
};

EngineHost::EngineHost(QString iniFilePath, QString homeFolder, store::StoreOpener openStore,
                       contracts::EngineFigures& figures, EnginePlace place, QObject* parent)
    : QObject(parent),
      m_iniFilePath(std::move(iniFilePath)),
      m_homeFolder(std::move(homeFolder)),
      m_openStore(std::move(openStore)),
      m_figures(figures),
      m_place(std::move(place)),
      m_thread(std::make_unique<QThread>()),
      m_commands(std::make_unique<QObject>()) {
    qRegisterMetaType<telvane::contracts::StartFailure>();
    qRegisterMetaType<telvane::contracts::MenuState>();
    qRegisterMetaType<telvane::contracts::PollTally>();
    qRegisterMetaType<telvane::contracts::StatusIcon>();
    m_thread->setObjectName(m_place.modem.isEmpty() ? QStringLiteral("telvane-engine")
                                                    : QStringLiteral("engine-") + m_place.modem);
    m_commands->moveToThread(m_thread.get());
    // Both run on the engine's thread: the engine is built before its event loop runs, so
    // before any command reaches it, and its objects end there as the loop ends.
    connect(
        m_thread.get(), &QThread::started, m_commands.get(), [this] { buildOnEngineThread(); },
        Qt::DirectConnection);
    connect(
        m_thread.get(), &QThread::finished, m_commands.get(),
        [this] {
            delete m_worker;
            m_worker = nullptr;
        },
        Qt::DirectConnection);

    // Queued to the engine's thread; m_worker is only ever touched there.
    const auto engine = [this]() -> GatewayEngine* {
        return m_worker ? &m_worker->parts.engine() : nullptr;
    };
    connect(this, &EngineHost::startRequested, m_commands.get(), [engine] {
        if (GatewayEngine* e = engine()) e->itmStart_Click();
    });
    connect(this, &EngineHost::exitRequested, m_commands.get(), [engine] {
        if (GatewayEngine* e = engine()) e->itmExit_Click();
    });
    connect(this, &EngineHost::sendRequested, m_commands.get(), [engine] {
        if (GatewayEngine* e = engine()) e->sendSoon();
    });
    connect(this, &EngineHost::startAfterRequested, m_commands.get(), [engine](int ms) {
        if (GatewayEngine* e = engine()) QTimer::singleShot(ms, e, &GatewayEngine::itmStart_Click);
    });
}

EngineHost::~EngineHost() {
    if (stop()) return;
    qCWarning(lcHost) << "the gateway did not finish within" << kStopLimit.count()
                      << "s; the program ends without it";
    // Destroying a running thread would abort the program: the engine is left to the end of the
    // process instead, as a crash would leave it (every file it writes survives a crash).
    (void)m_thread.release();
    (void)m_commands.release();
}

void EngineHost::launch() { m_thread->start(); }

bool EngineHost::isRunning() const { return m_thread && m_thread->isRunning(); }

bool EngineHost::stop(std::chrono::milliseconds limit) {
    if (!m_thread) return false;
    if (!m_thread->isRunning()) return true;
    emit exitRequested();
    return m_thread->wait(QDeadlineTimer(limit));
}

void EngineHost::buildOnEngineThread() {
    m_worker = new Worker(m_iniFilePath, m_homeFolder, m_openStore, m_figures, m_place);
    GatewayEngine* engine = &m_worker->parts.engine();

    connect(&m_worker->ticks, &QtTickSource::tick, engine, &GatewayEngine::Timer1_Timer);
    connect(engine, &GatewayEngine::statusChanged, this, &EngineHost::statusChanged);
    connect(engine, &GatewayEngine::statusIconChanged, this, &EngineHost::statusIconChanged);
    connect(engine, &GatewayEngine::menuChanged, this, &EngineHost::menuChanged);
    connect(engine, &GatewayEngine::startFailed, this, &EngineHost::startFailed);
    connect(engine, &GatewayEngine::pollFinished, this, &EngineHost::pollFinished);
    connect(engine, &GatewayEngine::finished, this, &EngineHost::finished);
    connect(engine, &GatewayEngine::networkChanged, this, &EngineHost::networkChanged);
    // The engine is done once it has closed the port: its thread ends with it.
    QThread* thread = m_thread.get();
    connect(engine, &GatewayEngine::finished, engine, [thread] { thread->quit(); });
    engine->load();
}

}  // namespace telvane::gateway
