#include "gateway/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace telvane::gateway {

namespace {

QString lockPathFor(const QString& homeFolder) {
    const QString inHome = QDir(homeFolder).filePath(QStringLiteral("telvane.lock"));
    if (QFileInfo(homeFolder).isWritable()) return inHome;
    // A read-only home (an installed copy) keeps its lock in the per-user runtime folder, named
    // after the home so that two homes stay two gateways.
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) runtime = QDir::tempPath();
    const QByteArray digest = QCryptographicHash::hash(QDir(homeFolder).absolutePath().toUtf8(),
                                                       QCryptographicHash::Sha1)
                                  .toHex()
                                  .left(16);
    return QDir(runtime).filePath(QStringLiteral("telvane-%1.lock").arg(QString::fromLatin1(digest)));
}

}  // namespace

SingleInstance::SingleInstance(const QString& homeFolder)
    : m_path(lockPathFor(homeFolder)), m_lock(std::make_unique<QLockFile>(m_path)) {
    // A lock left by a crashed gateway is taken over: QLockFile checks whether its process lives.
    m_lock->setStaleLockTime(0);
    m_locked = m_lock->tryLock(0);
}

QString SingleInstance::warningTitle() { return QStringLiteral("Предупреждение"); }

QString SingleInstance::warningText() {
    return QStringLiteral("Программа 'Telvane' уже запущена!\r\n\r\n"
                          "Проверьте наличие значка программы в 'трее' или закройте программу "
                          "через 'Диспетчер задач.'");
}

}  // namespace telvane::gateway
