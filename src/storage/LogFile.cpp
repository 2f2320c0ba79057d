#include "storage/LogFile.h"

#include "codec/Alphabets.h"

namespace telvane::storage {

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

WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                      const QString& message) {
    return appendLog(files, folder, when, QStringList{message});
}

WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                      const QStringList& messageFields) {
    return files.appendDurably(folder + QStringLiteral("Log.txt"), logLine(when, messageFields));
}

}  // namespace telvane::storage
