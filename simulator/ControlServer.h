#pragma once
// The test bench's hand on the running modem: a Unix-domain socket that takes one request per
// line and answers each with one line, "OK[ detail]" or "ERROR <reason>". The requests are
// listed in telvane-modem --help.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace telvane::simulator {

class ModemEngine;
class PtyLink;

class ControlServer : public QObject {
    Q_OBJECT

public:
    ControlServer(ModemEngine& engine, PtyLink& link, QObject* parent = nullptr);
    ~ControlServer() override;

    /// Listens at `path`, replacing a stale socket; empty on success, else the reason.
    QString listen(const QString& path);

    /// One request line without its terminator; the answer line without its terminator.
    QString handle(const QString& request);

private:
    void acceptConnection();

    ModemEngine& m_engine;
    PtyLink& m_link;
    QLocalServer m_server;
};

}  // namespace telvane::simulator
