#include "storage/LogFile.h"

#include <mutex>

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

QByteArray textLine(const QStringList& fields, codec::TextEncoding encoding) {
    const QString line = oneLineEach(fields).join(QLatin1Char('\t'));
    const std::string bytes = codec::encodeText(line.toStdU32String(), encoding);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())) + "\r\n";
}

QByteArray logLine(const QDateTime& when, const QStringList& messageFields,
                   codec::TextEncoding encoding) {
    return textLine(QStringList{when.toString(QStringLiteral("dd.MM.yyyy")),
                                when.toString(QStringLiteral("hh:mm:ss"))} +
                        messageFields,
                    encoding);
}

WriteResult appendLog(FileSystem& files, const QString& folder, const QDateTime& when,
                      const QStringList& messageFields, codec::TextEncoding encoding) {
    // The hooks' thread logs too; an append that is cut back on failure must not take another
    // thread's line with it.
    static std::mutex oneAtATime;
    const std::lock_guard lock(oneAtATime);
    return files.appendDurably(folder + QStringLiteral("Log.txt"),
                               logLine(when, messageFields, encoding));
}

}  // namespace telvane::storage
