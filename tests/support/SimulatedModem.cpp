#include "SimulatedModem.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTimer>

namespace telvane::test {

namespace {

QString memoryWord(ModemMemory memory) {
    switch (memory) {
        case ModemMemory::Me:
            return QStringLiteral("me");
        case ModemMemory::Sm:
            return QStringLiteral("sm");
        case ModemMemory::Sr:
            break;
    }
    return QStringLiteral("sr");
}

}  // namespace

SimulatedModem::SimulatedModem(SimulatedModemOptions options) : m_options(std::move(options)) {
    m_process.setProgram(binaryPath());
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

SimulatedModem::~SimulatedModem() { stop(); }

QString SimulatedModem::binaryPath() { return QStringLiteral(TELVANE_MODEM_BINARY); }

QString SimulatedModem::directory() const { return m_dir.path(); }
QString SimulatedModem::linkPath() const { return m_dir.filePath(QStringLiteral("modem")); }
QString SimulatedModem::slavePath() const { return m_slavePath; }
QString SimulatedModem::controlPath() const { return linkPath() + QStringLiteral(".ctl"); }
QString SimulatedModem::sentPath() const { return m_dir.filePath(QStringLiteral("sent.txt")); }

bool SimulatedModem::isRunning() const { return m_process.state() == QProcess::Running; }

bool SimulatedModem::writeLines(const QString& name, const QStringList& lines) {
    QFile file(m_dir.filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.write(lines.join(u'\n').toLatin1() + '\n') > 0)
        return true;
    m_error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    return false;
}

bool SimulatedModem::start(std::chrono::milliseconds deadline) {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory: ") + m_dir.errorString();
        return false;
    }
    QStringList args{QStringLiteral("--link"), linkPath(), QStringLiteral("--sent"), sentPath()};
    for (const auto& [memory, pdus] :
         {std::pair{QStringLiteral("me"), m_options.me}, {QStringLiteral("sm"), m_options.sm}}) {
        if (pdus.isEmpty()) continue;
        if (!writeLines(memory + ".txt", pdus)) return false;
        args << "--" + memory << m_dir.filePath(memory + ".txt");
    }
    for (const QString& fault : m_options.faults) args << QStringLiteral("--fault") << fault;
    args << m_options.extraArgs;
    m_process.setArguments(args);
    m_process.start();

    // The modem prints the slave's path once the link and the control socket are in place.
    const QDeadlineTimer timer(deadline);
    if (!m_process.waitForStarted(static_cast<int>(timer.remainingTime()))) {
        m_error = QStringLiteral("telvane-modem did not start: ") + m_process.errorString();
        return false;
    }
    while (!m_process.canReadLine()) {
        if (m_process.state() != QProcess::Running || timer.hasExpired()) {
            m_error = QStringLiteral("telvane-modem did not come up: ") +
                      QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed();
            stop();
            return false;
        }
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, timer.remainingTime())));
    }
    m_slavePath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (!QFileInfo(linkPath()).isSymLink()) {
        m_error = QStringLiteral("telvane-modem reported %1 but made no link").arg(m_slavePath);
        stop();
        return false;
    }
    return true;
}

void SimulatedModem::stop() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QStringList SimulatedModem::sentPdus() const {
    QFile file(sentPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(file.readAll())
        .split(u'\n', Qt::SkipEmptyParts)
        .replaceInStrings(QRegularExpression(QStringLiteral("\\s")), QString());
}

bool SimulatedModem::waitForSent(int count, std::chrono::milliseconds deadline) {
    QFileSystemWatcher watcher({directory()});  // the --sent file appears in it
    QEventLoop loop;
    const auto check = [&] {
        if (QFile::exists(sentPath()) && !watcher.files().contains(sentPath()))
            watcher.addPath(sentPath());
        if (sentPdus().size() >= count) loop.quit();
    };
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, check);
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, check);
    QTimer::singleShot(deadline, &loop, &QEventLoop::quit);
    check();
    if (sentPdus().size() < count) loop.exec();
    return sentPdus().size() >= count;
}

std::optional<QString> SimulatedModem::control(const QString& request,
                                               std::chrono::milliseconds deadline) {
    const QDeadlineTimer timer(deadline);
    QLocalSocket socket;
    socket.connectToServer(controlPath());
    if (!socket.waitForConnected(static_cast<int>(timer.remainingTime()))) {
        m_error = QStringLiteral("control socket: ") + socket.errorString();
        return std::nullopt;
    }
    socket.write(request.toUtf8() + '\n');
    socket.waitForBytesWritten(static_cast<int>(qMax<qint64>(1, timer.remainingTime())));
    while (!socket.canReadLine()) {
        if (timer.hasExpired() || socket.state() != QLocalSocket::ConnectedState) {
            m_error = QStringLiteral("control socket: no answer to \"%1\"").arg(request.left(40));
            return std::nullopt;
        }
        socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, timer.remainingTime())));
    }
    const QString answer = QString::fromUtf8(socket.readLine()).trimmed();
    if (!answer.startsWith(QLatin1String("OK"))) m_error = answer;
    return answer;
}

std::optional<int> SimulatedModem::deliver(ModemMemory memory, const QString& pduHex) {
    const auto answer = control(QStringLiteral("deliver %1 %2").arg(memoryWord(memory), pduHex));
    if (!answer || !answer->startsWith(QLatin1String("OK "))) return std::nullopt;
    bool ok = false;
    const int index = answer->mid(3).toInt(&ok);
    if (!ok) {
        m_error = QStringLiteral("unexpected answer: ") + *answer;
        return std::nullopt;
    }
    return index;
}

std::optional<QList<StoredPdu>> SimulatedModem::list(ModemMemory memory) {
    const auto answer = control(QStringLiteral("list ") + memoryWord(memory));
    if (!answer || !answer->startsWith(QLatin1String("OK"))) return std::nullopt;
    QList<StoredPdu> entries;
    const QStringList words = answer->split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QStringList fields = words[i].split(QLatin1Char(','));
        if (fields.size() != 3) {
            m_error = QStringLiteral("unexpected entry: ") + words[i];
            return std::nullopt;
        }
        entries.append(StoredPdu{fields[0].toInt(), fields[1].toInt(), fields[2]});
    }
    return entries;
}

bool SimulatedModem::unplug() {
    const auto answer = control(QStringLiteral("unplug"));
    return answer && *answer == QLatin1String("OK");
}

bool SimulatedModem::plug() {
    const auto answer = control(QStringLiteral("plug"));
    if (!answer || !answer->startsWith(QLatin1String("OK "))) return false;
    m_slavePath = answer->mid(3);
    return true;
}

}  // namespace telvane::test
