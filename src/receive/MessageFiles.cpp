#include "receive/MessageFiles.h"

#include <QFileInfo>

#include "office/OfficeStore.h"
#include "storage/LogFile.h"

namespace telvane::receive {

QString DayFileName(const QDate& day, qint32 fileType) {
    QString name = day.toString(QStringLiteral("yy-MM-dd"));
    switch (fileType) {
        case 0:
            return name + QStringLiteral(".txt");
        case 1:
            return name + QStringLiteral(".doc");
        case 2:
            return name + QStringLiteral(".xls");
        default:
            return name;
    }
}

storage::WriteResult WriteMessageFile(storage::FileSystem& files, QString path,
                                      const QStringList& record, const StoreTarget& target,
                                      OfficeNotes* notes) {
    switch (target.mode) {
        case 0: {
            if (!path.endsWith(QStringLiteral(".tmp")) && !path.endsWith(QStringLiteral(".txt"))) {
                path += QStringLiteral(".txt");
            }
            return files.appendDurably(path, storage::textLine(record, target.encoding));
        }
        case 1:
        case 2: {
            const QStringList fields = storage::oneLineEach(record);
            const office::OfficeResult result = office::appendToDayFile(
                path, fields, static_cast<office::DayFileKind>(target.mode), target.autoScroll);
            if (notes != nullptr) {
                *notes = {QFileInfo(result.file).fileName(), result.lockFile, result.notes};
            }
            if (result.ok) return storage::WriteResult::done();
            return storage::WriteResult::failed(
                path, office::describe(result.error) + QStringLiteral(": ") + result.reason);
        }
        default:
            return storage::WriteResult::failed(
                path, QStringLiteral("no file format for FileType %1").arg(target.mode));
    }
}

}  // namespace telvane::receive
