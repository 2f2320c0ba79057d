#pragma once
// A running telvane-modem for tests: started in its own temporary directory, reachable through
// the symbolic link it creates there, controlled through its control socket, stopped by the
// destructor.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <optional>

namespace telvane::test {

enum class ModemMemory { Me, Sm, Sr };

struct SimulatedModemOptions {
    QStringList me;         ///< PDUs (hex, SMSC part first) preloaded into "ME"
    QStringList sm;         ///< PDUs preloaded into "SM"
    QStringList faults;     ///< --fault values: "silent", "no-sm", "slow=200", ...
    QStringList extraArgs;  ///< anything else for the command line, e.g. {"--report-delay", "50"}
};

/// One entry of a memory as the control socket lists it.
struct StoredPdu {
    int index = 0;
    int stat = 0;  ///< 0 received unread, 1 received read, 2 stored unsent, 3 stored sent
    QString pdu;
};

class SimulatedModem {
public:
    explicit SimulatedModem(SimulatedModemOptions options = {});
    ~SimulatedModem();
    SimulatedModem(const SimulatedModem&) = delete;
    SimulatedModem& operator=(const SimulatedModem&) = delete;

    /// Starts the modem and waits until its link exists; false (see errorString()) when it
    /// failed or did not come up before the deadline.
    bool start(std::chrono::milliseconds deadline = std::chrono::seconds(10));
    /// SIGTERM, then waits for the exit (the modem removes its link). Also done by the destructor.
    void stop();
    bool isRunning() const;
    QString errorString() const { return m_error; }

    QString directory() const;    ///< the temporary directory, removed by the destructor
    QString linkPath() const;     ///< the port to open: a symbolic link to the current pty slave
    QString slavePath() const;    ///< the pty slave behind the link, as last reported
    QString controlPath() const;  ///< linkPath() + ".ctl"
    QString sentPath() const;     ///< the --sent file

    /// The PDUs the modem accepted for sending, in order, as the hex text the host wrote.
    QStringList sentPdus() const;
    /// Waits (on the file system's word, without polling) until the modem has accepted `count`
    /// PDUs; false at the deadline. Needs a QCoreApplication.
    bool waitForSent(int count, std::chrono::milliseconds deadline = std::chrono::seconds(30));

    /// One control request; the answer line ("OK ..." or "ERROR ..."), or nullopt when the
    /// socket did not answer before the deadline.
    std::optional<QString> control(const QString& request,
                                   std::chrono::milliseconds deadline = std::chrono::seconds(5));
    /// Stores an incoming PDU; the memory index, or nullopt (see errorString()).
    std::optional<int> deliver(ModemMemory memory, const QString& pduHex);
    /// What a memory holds, or nullopt (see errorString()).
    std::optional<QList<StoredPdu>> list(ModemMemory memory);
    /// The port vanishes: the pty is closed and the link removed.
    bool unplug();
    /// A new pty comes back behind the same link.
    bool plug();

    /// The telvane-modem binary these tests run.
    static QString binaryPath();

private:
    bool writeLines(const QString& name, const QStringList& lines);

    SimulatedModemOptions m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_slavePath;
    QString m_error;
};

}  // namespace telvane::test
