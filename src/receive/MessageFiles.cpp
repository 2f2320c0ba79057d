#include "receive/MessageFiles.h"

#include <QFileInfo>

#include "codec/Alphabets.h"
#include "office/OfficeStore.h"

namespace telvane::receive {

QString DayFileName(const QDate& day, qint32 fileType) {
    QString name = day.toString(QStringLiteral("yy-MM-dd"));
    switch (fileType) {
        case 0: return name + QStringLiteral(".txt");
        case 1: return name + QStringLiteral(".doc");
        case 2: return name + QStringLiteral(".xls");
        default: return name;
    }
}

namespace {

QString oneLine(QString field) {
    field.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    field.replace(QLatin1Char('\r'), QLatin1Char(' '));
    field.replace(QLatin1Char('\n'), QLatin1Char(' '));
    field.replace(QLatin1Char('\t'), QLatin1Char(' '));
    field.replace(QChar(u'\0'), QLatin1Char(' '));
    return field;
}

QStringList oneLineEach(const QStringList& fields) {
    QStringList out;
    out.reserve(fields.size());
    for (const QString& field : fields) out << oneLine(field);
    return out;
}

}  // namespace

QByteArray textLine(const QStringList& fields) {
    const QString line = oneLineEach(fields).join(QLatin1Char('\t'));
    const std::string bytes = codec::unicodeToCp1251Lossy(line.toStdU32String());
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())) + "\r\n";
}

QByteArray logLine(const QDateTime& when, const QString& message) {
    return logLine(when, QStringList{message});
}

QByteArray logLine(const QDateTime& when, const QStringList& messageFields) {
    return textLine(QStringList{when.toString(QStringLiteral("dd.MM.yyyy")),
                                when.toString(QStringLiteral("hh:mm:ss"))} +
                    messageFields);
}

WriteResult WriteMessageFile(FileSystem& files, QString path, const QStringList& record,
                             const StoreTarget& target) {
    switch (target.mode) {
        case 0: {
            if (!path.endsWith(QStringLiteral(".tmp")) && !path.endsWith(QStringLiteral(".txt"))) {
                path += QStringLiteral(".txt");
            }
            return files.appendDurably(path, textLine(record));
        }
        case 1:
        case 2: {
            const QStringList fields = oneLineEach(record);
            const OfficeResult result =
                target.mode == 1 ? appendRecordToDocument(path, fields)
                                 : appendRecordToWorkbook(path, fields, target.autoScroll);
            if (result.ok) return WriteResult::done();
            return WriteResult::failed(path, describe(result.error) + QStringLiteral(": ") +
                                                 result.reason);
        }
        default:
            return WriteResult::failed(path,
                                       QStringLiteral("no file format for FileType %1").arg(target.mode));
    }
}

std::optional<QByteArray> ReadWholeFile(const FileSystem& files, const QString& path) {
    return files.readAll(path);
}

WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                      const QString& message) {
    return appendLog(files, folder, when, QStringList{message});
}

WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                      const QStringList& messageFields) {
    return files.appendDurably(folder + QStringLiteral("Log.txt"), logLine(when, messageFields));
}

}  // namespace telvane::receive
