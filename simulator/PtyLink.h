#pragma once
// The modem's end of the serial line: a pseudo-terminal master, with a symbolic link to the slave
// that the host opens as its port. Unplugging closes the master, so that the host's reads and
// writes on the slave fail as on a USB modem pulled from its socket.

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <memory>

#include "LinePace.h"

namespace telvane::simulator {

class PtyLink : public QObject {
    Q_OBJECT

public:
    explicit PtyLink(QString linkPath, QObject* parent = nullptr);
    ~PtyLink() override;

    /// Opens a new pseudo-terminal and points the link at its slave. An empty result is success;
    /// otherwise the text says what failed.
    QString plug();
    /// Closes the pseudo-terminal and removes the link; nothing if already unplugged.
    void unplug();
    bool isPlugged() const { return m_master >= 0; }

    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }

    /// Queues bytes for the host; they are written as the line takes them.
    void write(const QByteArray& bytes);

    /// Paces both directions at `baud` bits a second (0: as fast as the terminal goes), or, with
    /// kFollowPort, at the speed the host last set on its end of the line.
    static constexpr int kFollowPort = -1;
    void setBaud(int baud);

signals:
    void received(const QByteArray& bytes);

private:
    void readReady();
    void writeReady();
    QString pointLink();
    void paceTick();
    void schedulePace();
    int currentBaud() const;

    QString m_linkPath;
    QString m_slavePath;
    int m_master = -1;
    // The modem keeps the slave open too: without it the master reports a hang-up whenever the
    // host closes its port, and the line settings would fall back to a cooked, echoing terminal.
    int m_slaveKeeper = -1;
    bool m_linked = false;  // the link at m_linkPath is ours to remove
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QByteArray m_outgoing;
    int m_baud = 0;
    LinePace m_toHost;
    LinePace m_fromHost;
    QTimer m_paceTimer;
};

}  // namespace telvane::simulator
