#include "gateway/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

namespace telvane::gateway {

namespace {

QString lockPathFor(const QString& homeFolder) {
    const QString inHome = QDir(homeFolder).filePath(QStringLiteral("telvane.lock"));
    if (QFileInfo(homeFolder).isWritable()) return inHome;
    // A read-only home (an installed copy) keeps its lock in the per-user runtime folder, named
    // after the home so that two homes stay two gateways.
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) runtime = QDir::tempPath();
    const QByteArray digest =
        QCryptographicHash::hash(QDir(homeFolder).absolutePath().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QDir(runtime).filePath(
        QStringLiteral("telvane-%1.lock").arg(QString::fromLatin1(digest)));
}

QString alreadyRunning() { return QStringLiteral("Программа 'Telvane' уже запущена!"); }

}  // namespace

SingleInstance::SingleInstance(const QString& homeFolder)
    : m_path(lockPathFor(homeFolder)), m_lock(std::make_unique<QLockFile>(m_path)) {
    // A lock left by a crashed gateway is taken over: QLockFile checks whether its process lives.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) return;
    m_error = m_lock->error();
    // Only a lock that another process holds means another gateway; a lock that could not be
    // written (a full disk) is a reason of its own and says so.
    if (m_error == QLockFile::LockFailedError) {
        m_outcome = Outcome::AlreadyRunning;
        QString host;
        QString application;
        if (!m_lock->getLockInfo(&m_holderPid, &host, &application)) m_holderPid = 0;
    } else {
        m_outcome = Outcome::LockNotWritten;
    }
}

QString SingleInstance::warningTitle() { return QStringLiteral("Предупреждение"); }

QString SingleInstance::warningText() const {
#ifdef Q_OS_WIN
    return alreadyRunning() +
           QStringLiteral(
               "\r\n\r\nПроверьте наличие значка программы в 'трее' или закройте "
               "программу через 'Диспетчер задач.'");
#else
    const QString process =
        m_holderPid > 0 ? QStringLiteral(" (kill %1)").arg(m_holderPid) : QString();
    return alreadyRunning() +
           QStringLiteral(
               "\n\nПроверьте наличие значка программы в 'трее' или завершите её "
               "процесс%1.")
               .arg(process);
#endif
}

QString SingleInstance::warningLine() const {
#ifdef Q_OS_WIN
    return warningText().replace(QStringLiteral("\r\n\r\n"), QStringLiteral(" "));
#else
    const QString pid = m_holderPid > 0 ? QString::number(m_holderPid) : QStringLiteral("PID");
    return alreadyRunning() + QStringLiteral(
                                  " Процесс %1 работает с той же папкой; остановите его командой "
                                  "'systemctl stop telvane' (служба) или 'kill %1'.")
                                  .arg(pid);
#endif
}

QString SingleInstance::lockProblem() const {
    QString why = QStringLiteral("запись не удалась");
    if (m_error == QLockFile::PermissionError) {
        why = QStringLiteral("нет прав на запись");
    } else {
        const QStorageInfo storage(QFileInfo(m_path).absolutePath());
        if (storage.isValid() && storage.bytesAvailable() < storage.blockSize())
            why = QStringLiteral("на диске нет места");
    }
    return QStringLiteral("Не удалось записать файл блокировки %1: %2.")
        .arg(QDir::toNativeSeparators(m_path), why);
}

}  // namespace telvane::gateway
