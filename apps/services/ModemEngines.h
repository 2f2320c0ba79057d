#pragma once
// The engines of a gateway's modems: one for a gateway of one modem, one per "[Modem <name>]"
// section beside it, each on a thread of its own with its own port, and what they share. A front
// end shows the first one's state in full and the others' as lines of their own.

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

#include "contracts/EngineFigures.h"
#include "contracts/ModemPool.h"
#include "gateway/EngineHost.h"
#include "store/Store.h"

namespace telvane::services {

class ModemEngines final : public QObject {
    Q_OBJECT
public:
    /// One engine per modem of the settings file. The engines count into `figures` (one per
    /// modem is added), which must outlive an engine left running at the end of the process.
    /// Sections left out are said in `problems`.
    ModemEngines(const QString& iniPath, const QString& home, const store::StoreOpener& openStore,
                 std::deque<contracts::EngineFigures>& figures, QStringList* problems = nullptr,
                 QObject* parent = nullptr);
    /// Stops the engines, each within EngineHost's limit.
    ~ModemEngines() override;

    /// The first modem's engine, whose state a front end shows.
    gateway::EngineHost& first() { return *m_hosts.front(); }
    /// Every modem's counts by its identity, for the HTTP interface.
    contracts::GatewayFigures figures() const;
    std::size_t size() const { return m_hosts.size(); }
    /// What a modem is called in status lines; empty for a gateway of one.
    QString nameOf(std::size_t index) const { return m_names[index]; }
    bool anyRunning() const;

public slots:
    void launch();
    void requestStart();
    void requestExit();
    void requestSend();

signals:
    /// A status line of a modem other than the first: its name, then the text.
    void otherStatusChanged(const QString& modem, const QString& text);
    /// The status icon of a modem other than the first.
    void otherIconChanged(const QString& modem, telvane::contracts::StatusIcon icon);
    /// A modem other than the first could not start; it is tried again after a poll period.
    void otherStartFailed(const QString& modem, const telvane::contracts::StartFailure& failure);
    /// Every engine has closed its port.
    void allFinished();

private:
    std::deque<contracts::EngineFigures>& m_figures;
    // Let go of, not freed, when an engine does not end: it is left running to the end of the
    // process, still taking its turns.
    std::unique_ptr<contracts::ModemPool> m_pool = std::make_unique<contracts::ModemPool>();
    std::vector<std::unique_ptr<gateway::EngineHost>> m_hosts;
    QStringList m_names;
    QStringList m_ids;
    std::size_t m_finished = 0;
    qint16 m_period = 10;  ///< [Options] Period at start: the modems' starts are spread over it
};

}  // namespace telvane::services
