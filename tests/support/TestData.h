#pragma once
// Files under tests/data and on disk, read the way the tests compare them.

#include <QFile>
#include <QStringList>
#include <ostream>

#include "support/Tsv.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace telvane::test {

inline QString dataPath(const QString& name) {
    return QStringLiteral(TELVANE_TEST_DATA "/") + name;
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// Text as the Windows-1251 bytes the gateway's files hold.
QByteArray cp1251(const QString& text);

/// The lines of a Windows-1251 (or UTF-8) file without their CR LF; "<torn>" stands for a last
/// line without one.
QStringList textLines(const QString& path, bool utf8 = false);

/// The UTF-8 lines of a data file, without empty lines and "#" comments.
QStringList dataLines(const QString& name);

/// The TAB-separated rows of a data file (see readTsv).
inline std::vector<TsvRow> tsvRows(const QString& name, std::size_t columns = 0) {
    return readTsv(dataPath(name).toStdString(), columns);
}

}  // namespace telvane::test
