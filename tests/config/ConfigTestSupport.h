#pragma once
// Helpers shared by the settings tests: data files copied into a scratch folder, raw bytes,
// Windows-1251 literals, and the immutable flag that makes a file or folder unwritable even
// for root.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <vector>

#include "codec/Alphabets.h"

namespace telvane::config::test {

inline QString dataFile(const char* name) {
    return QStringLiteral(TELVANE_TEST_DATA "/config/") + QString::fromUtf8(name);
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

/// The TAB-separated rows of a data file, \r \n \t \\ unescaped, # lines left out.
inline std::vector<std::vector<std::string>> tsvRows(const char* name) {
    std::ifstream in(dataFile(name).toStdString());
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\t') {
                fields.emplace_back();
            } else if (line[i] != '\\' || i + 1 == line.size()) {
                fields.back() += line[i];
            } else {
                const char e = line[++i];
                fields.back() += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
            }
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

/// UTF-8 source text as the Windows-1251 bytes the settings file holds.
inline QByteArray cp1251(const std::string& utf8) {
    const std::string bytes = codec::unicodeToCp1251Lossy(codec::utf8ToUnicode(utf8));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

/// A scratch folder holding a copy of a data file as Telvane.ini.
class ScratchIni {
public:
    explicit ScratchIni(const char* dataName = nullptr) {
        if (dataName != nullptr) QFile::copy(dataFile(dataName), path());
    }
    QString folder() const { return m_dir.path(); }
    QString path() const { return m_dir.filePath(QStringLiteral("Telvane.ini")); }
    QByteArray bytes() const { return readBytes(path()); }

private:
    QTemporaryDir m_dir;
};

/// Sets the immutable attribute on a path for its lifetime. ok() is false where the file
/// system has no such attribute (tmpfs, for one); tests then skip.
class Immutable {
public:
    explicit Immutable(QString path) : m_path(std::move(path)) {
        m_ok = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) == 0;
    }
    ~Immutable() {
        if (m_ok) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
    }
    Immutable(const Immutable&) = delete;
    Immutable& operator=(const Immutable&) = delete;
    bool ok() const { return m_ok; }

private:
    QString m_path;
    bool m_ok = false;
};

}  // namespace telvane::config::test
