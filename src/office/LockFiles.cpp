#include "office/LockFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include "storage/DurableFile.h"

#ifdef Q_OS_LINUX
#include <pwd.h>
#include <sys/stat.h>
#endif

namespace telvane::office {
namespace {

// Whether a LibreOffice process of @p user runs on this machine. Its lock file names no process,
// so any LibreOffice of that user may be the one that holds the file. Where processes cannot be
// listed, one is assumed to run.
bool libreOfficeRuns(const QString& user) {
#ifdef Q_OS_LINUX
    const passwd* account = getpwnam(user.toLocal8Bit().constData());
    const QDir proc(QStringLiteral("/proc"));
    if (!proc.exists()) return true;
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid.isEmpty() || !pid[0].isDigit()) continue;
        QFile name(proc.filePath(pid + QStringLiteral("/comm")));
        if (!name.open(QIODevice::ReadOnly) || !name.read(64).startsWith("soffice")) continue;
        struct stat owner {};
        if (account == nullptr ||
            (stat(proc.filePath(pid).toLocal8Bit().constData(), &owner) == 0 &&
             owner.st_uid == account->pw_uid)) {
            return true;
        }
    }
    return false;
#else
    Q_UNUSED(user);
    return true;
#endif
}

OfficeLock judgeLibreOfficeLock(const QString& lockPath) {
    OfficeLock lock{lockPath, false, {}};
    const storage::ReadResult content = storage::readOwnFile(lockPath, 4096);
    const QStringList fields = libreOfficeLockFields(content.bytes);
    if (!content.ok() || fields.size() < 3) return lock;
    lock.owner = fields[1] + u'@' + fields[2];
    lock.stale = fields[2] == QSysInfo::machineHostName() && !libreOfficeRuns(fields[1]);
    return lock;
}

}  // namespace

QStringList libreOfficeLockFields(const QByteArray& content) {
    QStringList fields{QString()};
    const QString text = QString::fromUtf8(content);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            fields.back() += text[++i];
        } else if (c == u',') {
            fields.append(QString());
        } else if (c == u';') {
            break;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::optional<OfficeLock> findOfficeLockFile(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    std::optional<OfficeLock> stale;
    const QString libreOffice = info.dir().filePath(QStringLiteral(".~lock.") + name + u'#');
    if (QFileInfo::exists(libreOffice)) {
        OfficeLock lock = judgeLibreOfficeLock(libreOffice);
        if (!lock.stale) return lock;
        stale = std::move(lock);
    }
    for (const QString& candidate :
         {QStringLiteral("~$") + name, QStringLiteral("~$") + name.mid(1),
          QStringLiteral("~$") + name.mid(2)}) {
        const QString lockPath = info.dir().filePath(candidate);
        if (QFileInfo::exists(lockPath)) return OfficeLock{lockPath, false, {}};
    }
    return stale;
}

}  // namespace telvane::office
