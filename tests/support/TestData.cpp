#include "support/TestData.h"

#include <stdexcept>

#include "codec/Alphabets.h"

namespace telvane::test {

QByteArray cp1251(const QString& text) {
    return QByteArray::fromStdString(codec::unicodeToCp1251Lossy(text.toStdU32String()));
}

QStringList textLines(const QString& path, bool utf8) {
    const QByteArray content = readFile(path);
    QStringList lines;
    for (qsizetype start = 0, end; start < content.size(); start = end + 2) {
        end = content.indexOf("\r\n", start);
        if (end < 0) return lines << QStringLiteral("<torn>");
        const QByteArray line = content.mid(start, end - start);
        lines << (utf8 ? QString::fromUtf8(line)
                       : QString::fromStdU32String(codec::cp1251ToUnicode(line.toStdString())));
    }
    return lines;
}

QStringList dataLines(const QString& name) {
    QFile file(dataPath(name));
    // A data file that went missing must not pass as a table without rows.
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + name.toStdString());
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(u'#'); });
    return lines;
}

}  // namespace telvane::test
