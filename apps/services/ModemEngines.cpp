#include "services/ModemEngines.h"

#include <algorithm>

#include "config/Settings.h"
#include "config/SettingsKeys.h"

namespace telvane::services {

ModemEngines::ModemEngines(const QString& iniPath, const QString& home,
                           const store::StoreOpener& openStore,
                           std::deque<contracts::EngineFigures>& figures, QStringList* problems,
                           QObject* parent)
    : QObject(parent), m_figures(figures) {
    const std::vector<config::ModemPlace> places =
        config::modemPlaces(config::Settings(iniPath, home), problems);
    // A gateway of one modem shares nothing and keeps no turns.
    contracts::ModemPool* pool = places.size() > 1 ? m_pool.get() : nullptr;
    m_period = config::Settings(iniPath, home).strictInt16(config::setting::PeriodAtStart);
    for (const config::ModemPlace& place : places) m_pool->modems << place.id;
    for (const config::ModemPlace& place : places) {
        contracts::EngineFigures& counted = m_figures.emplace_back();
        const QString section = place.settings.modemSection();
        m_hosts.push_back(std::make_unique<gateway::EngineHost>(
            iniPath, home, openStore, counted, gateway::EnginePlace{place.id, section, pool}));
        const QString name = place.settings.text(config::setting::ModemName).trimmed();
        m_names << (name.isEmpty() ? place.id : name);
        m_ids << place.id;
    }
    for (std::size_t i = 0; i < m_hosts.size(); ++i) {
        gateway::EngineHost* host = m_hosts[i].get();
        connect(host, &gateway::EngineHost::finished, this, [this] {
            if (++m_finished == m_hosts.size()) emit allFinished();
        });
        if (i == 0) continue;
        const QString name = m_names[qsizetype(i)];
        connect(host, &gateway::EngineHost::statusChanged, this,
                [this, name](const QString& text) { emit otherStatusChanged(name, text); });
        connect(host, &gateway::EngineHost::networkChanged, this,
                [this, name](const QString& text) { emit otherStatusChanged(name, text); });
        connect(host, &gateway::EngineHost::statusIconChanged, this,
                [this, name](contracts::StatusIcon icon) { emit otherIconChanged(name, icon); });
        // The first modem's failed start is its front end's to show and retry; the others come
        // up by themselves when they are plugged in.
        connect(host, &gateway::EngineHost::startFailed, this,
                [this, host, name](const contracts::StartFailure& failure) {
                    emit otherStartFailed(name, failure);
                    host->requestStartAfter(std::max(1, failure.pollPeriodSeconds) * 1000);
                });
    }
}

ModemEngines::~ModemEngines() {
    requestExit();
    bool allEnded = true;
    for (auto& host : m_hosts) allEnded = host->stop() && allEnded;
    if (!allEnded) (void)m_pool.release();
}

contracts::GatewayFigures ModemEngines::figures() const {
    contracts::GatewayFigures all;
    for (std::size_t i = 0; i < m_hosts.size(); ++i)
        all.push_back({m_ids[qsizetype(i)], &m_figures[i]});
    return all;
}

bool ModemEngines::anyRunning() const {
    return std::any_of(m_hosts.begin(), m_hosts.end(),
                       [](const auto& host) { return host->isRunning(); });
}

void ModemEngines::launch() {
    for (auto& host : m_hosts) host->launch();
}

void ModemEngines::requestStart() {
    // Started a little apart, the modems poll apart: 64 of them at the same moment would queue
    // on the store and on the processor each period.
    const int spreadMs = std::clamp(int(m_period), 1, 10) * 1000;
    for (std::size_t i = 0; i < m_hosts.size(); ++i) {
        if (i == 0)
            m_hosts[i]->requestStart();
        else
            m_hosts[i]->requestStartAfter(int(i * std::size_t(spreadMs) / m_hosts.size()));
    }
}

void ModemEngines::requestExit() {
    for (auto& host : m_hosts) host->requestExit();
}

void ModemEngines::requestSend() {
    for (auto& host : m_hosts) host->requestSend();
}

}  // namespace telvane::services
