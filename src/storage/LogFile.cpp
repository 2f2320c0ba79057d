#include "storage/LogFile.h"

#include <QDebug>

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

LogWriter::LogWriter(FileSystem& files, Now now, QString folder, codec::TextEncoding encoding)
    : m_files(files), m_now(std::move(now)), m_folder(std::move(folder)), m_encoding(encoding) {}

void LogWriter::setPlace(const QString& folder, codec::TextEncoding encoding) {
    const std::lock_guard lock(m_placeLock);
    m_folder = folder;
    m_encoding = encoding;
}

WriteResult LogWriter::write(const QStringList& fields) {
    QString folder;
    codec::TextEncoding encoding;
    {
        const std::lock_guard lock(m_placeLock);
        folder = m_folder;
        encoding = m_encoding;
    }
    WriteResult written;
    {
        // The hooks' and the interface's threads log too, through writers of their own: an
        // append that is cut back on failure must not take another thread's line with it.
        static std::mutex oneAtATime;
        const std::lock_guard lock(oneAtATime);
        m_files.makeFolder(folder);
        written = m_files.appendDurably(folder + QStringLiteral("Log.txt"),
                                        logLine(m_now(), fields, encoding));
    }
    if (!written.ok)
        qWarning().noquote() << "Log line lost:" << written.error << "-" << fields.join(u' ');
    return written;
}

}  // namespace telvane::storage
