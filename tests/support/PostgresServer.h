#pragma once
// A PostgreSQL 15 server of the tests' own, from Debian's postgresql-15: a cluster made with
// initdb in a temporary folder, listening only on a Unix socket there, with fsync off (a crash of
// the machine is no concern of a test). The server refuses to run as root, so a test run by root
// (CI) runs it as the unprivileged user "postgres". Stopped and removed with the object.

#include <QString>
#include <QTemporaryDir>

namespace telvane::test {

class PostgresServer {
public:
    /// Starts it; ok() says whether it runs, error() why not.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool ok() const { return m_running; }
    const QString& error() const { return m_error; }

    /// A new, empty database of its own; its libpq connection string.
    QString newDatabase();
    /// Stops the server at once (as a crash would) and starts it again on the same cluster.
    bool restart();

    /// The server the tests of one program share, started at the first use.
    static PostgresServer& shared();

private:
    bool run(const QString& program, const QStringList& arguments);
    bool start();

    QTemporaryDir m_dir;
    QString m_data;
    bool m_running = false;
    int m_databases = 0;
    QString m_error;
};

}  // namespace telvane::test
