#include "receive/MessageFiles.h"

#include <QFileInfo>

#include "office/OfficeStore.h"
#include "storage/LogFile.h"

namespace telvane::receive {

using contracts::DayFileFormat;

QString DayFileName(const QDate& day, std::optional<DayFileFormat> format) {
    const QString name = day.toString(QStringLiteral("yy-MM-dd"));
    if (!format) return name;
    switch (*format) {
        case DayFileFormat::Text:
            return name + QStringLiteral(".txt");
        case DayFileFormat::Document:
            return name + QStringLiteral(".doc");
        case DayFileFormat::Workbook:
            return name + QStringLiteral(".xls");
    }
    return name;
}

storage::WriteResult WriteMessageFile(storage::FileSystem& files, QString path,
                                      const QStringList& record, const StoreTarget& target,
                                      OfficeNotes* notes) {
    if (!target.format)
        return storage::WriteResult::failed(path, QStringLiteral("FileType names no file format"));
    if (*target.format == DayFileFormat::Text) {
        if (!path.endsWith(QStringLiteral(".tmp")) && !path.endsWith(QStringLiteral(".txt")))
            path += QStringLiteral(".txt");
        return files.appendDurably(path, storage::textLine(record, target.encoding));
    }
    const office::DayFileKind kind = *target.format == DayFileFormat::Workbook
                                         ? office::DayFileKind::Workbook
                                         : office::DayFileKind::Document;
    const office::OfficeResult result =
        office::appendToDayFile(path, storage::oneLineEach(record), kind, target.autoScroll);
    if (notes != nullptr)
        *notes = {QFileInfo(result.file).fileName(), result.lockFile, result.notes};
    if (result.ok) return storage::WriteResult::done();
    return storage::WriteResult::failed(
        path, office::describe(result.error) + QStringLiteral(": ") + result.reason);
}

}  // namespace telvane::receive
