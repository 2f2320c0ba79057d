#include "send/SendLog.h"

#include <QFile>

#include "codec/Alphabets.h"

namespace telvane::send {

QString logLine(const QDateTime& now, const QString& message) {
    return now.toString(QStringLiteral("dd.MM.yyyy")) + u'\t' +
           now.toString(QStringLiteral("hh:mm:ss")) + u'\t' + message;
}

bool appendLogLine(const QString& logFolder, const QDateTime& now, const QString& message) {
    QString line = logLine(now, message);
    // One record, one line: a line break inside the message becomes a blank.
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    const std::string bytes = codec::unicodeToCp1251Lossy(line.toStdU32String()) + "\r\n";
    QFile log(logFolder + QStringLiteral("Log.txt"));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    return log.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
           static_cast<qint64>(bytes.size());
}

}  // namespace telvane::send
