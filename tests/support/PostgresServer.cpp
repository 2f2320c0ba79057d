#include "support/PostgresServer.h"

#include <unistd.h>

#include <QFile>
#include <QProcess>

namespace telvane::test {

namespace {

const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");

// Root may not run the server: it runs as "postgres", which Debian's package makes.
QStringList asServerUser(const QString& program, const QStringList& arguments) {
    if (::geteuid() != 0) return QStringList{program} + arguments;
    return QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"),
                       QStringLiteral("--"), program} +
           arguments;
}

}  // namespace

PostgresServer::PostgresServer() : m_data(m_dir.filePath(QStringLiteral("data"))) {
    if (!QFile::exists(kBin + QStringLiteral("initdb"))) {
        m_error = QStringLiteral("PostgreSQL 15 is not installed (postgresql-15)");
        return;
    }
    // The server's user must reach its cluster and socket in the test's folder.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther);
    if (!run(kBin + QStringLiteral("initdb"), {"-D", m_data, "-A", "trust", "-U", "postgres", "-E",
                                               "UTF8", "--locale=C", "--no-sync"}))
        return;
    m_running = start();
}

PostgresServer::~PostgresServer() {
    if (m_running)
        run(kBin + QStringLiteral("pg_ctl"), {"-D", m_data, "-m", "immediate", "-w", "stop"});
}

bool PostgresServer::start() {
    // fsync off for speed: a stopped server (a crash of its own) loses nothing by it, only a
    // crash of the machine would; commits stay synchronous, so a restart keeps every one.
    const QString options = QStringLiteral(
                                "-k %1 -c listen_addresses='' -c fsync=off "
                                "-c full_page_writes=off -c max_connections=300")
                                .arg(m_dir.path());
    return run(kBin + QStringLiteral("pg_ctl"),
               {"-D", m_data, "-l", m_dir.filePath(QStringLiteral("server.log")), "-o", options,
                "-w", "start"});
}

bool PostgresServer::restart() {
    if (!run(kBin + QStringLiteral("pg_ctl"), {"-D", m_data, "-m", "immediate", "-w", "stop"}))
        return false;
    m_running = start();
    return m_running;
}

QString PostgresServer::newDatabase() {
    const QString name = QStringLiteral("telvane_%1").arg(++m_databases);
    if (!run(kBin + QStringLiteral("createdb"), {"-h", m_dir.path(), "-U", "postgres", name}))
        return {};
    return QStringLiteral("host=%1 user=postgres dbname=%2").arg(m_dir.path(), name);
}

PostgresServer& PostgresServer::shared() {
    static PostgresServer server;
    return server;
}

bool PostgresServer::run(const QString& program, const QStringList& arguments) {
    const QStringList command = asServerUser(program, arguments);
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(command.front(), command.mid(1));
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return true;
    m_error =
        command.join(u' ') + QStringLiteral(": ") +
        QString::fromLocal8Bit(process.readAllStandardError() + process.readAllStandardOutput())
            .trimmed();
    return false;
}

}  // namespace telvane::test
