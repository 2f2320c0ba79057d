#pragma once
// Helpers shared by the office tests: fixtures, outside programs, the xlrd oracle.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace telvane::testing {

inline QString fixture(const QString& name) {
    return QStringLiteral(TELVANE_TEST_DATA "/office/") + name;
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct ProcessResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/// Runs a program to its end, waiting at most @p deadlineMs.
inline ProcessResult run(const QString& program, const QStringList& arguments,
                         int deadlineMs = 60000) {
    QProcess process;
    process.start(program, arguments);
    ProcessResult result;
    result.finished = process.waitForStarted(deadlineMs) && process.waitForFinished(deadlineMs);
    if (!result.finished && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

inline bool succeeded(const QString& program, const QStringList& arguments) {
    const ProcessResult r = run(program, arguments);
    return r.finished && r.exitCode == 0;
}

/// Copies a fixture to @p path; the copy is writable whatever the checkout's modes.
inline bool copyFixture(const char* name, const QString& path) {
    return QFile::copy(fixture(QString::fromLatin1(name)), path) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

/// What xlrd (Debian's python3-xlrd, formatting_info=True) finds in a workbook.
inline QJsonObject xlrdFacts(const QString& path) {
    const ProcessResult r =
        run(QStringLiteral(TELVANE_DEBIAN_PYTHON), {QStringLiteral(TELVANE_XLS_FACTS), path});
    EXPECT_TRUE(r.finished && r.exitCode == 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

inline bool haveXlrd() {
    return succeeded(QStringLiteral(TELVANE_DEBIAN_PYTHON),
                     {QStringLiteral("-c"), QStringLiteral("import xlrd")});
}

}  // namespace telvane::testing
