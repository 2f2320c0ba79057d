#pragma once
// A temporary home folder: its Telvane.ini (naming the simulated modem's port, where there is
// one), the files the gateway leaves there, and telvaned --once run on it.

#include <QDate>
#include <QTemporaryDir>

#include "support/ServiceProcess.h"
#include "support/SimulatedModem.h"
#include "support/TestData.h"

namespace telvane::test {

/// How the gateway paces the simulated modem in a test. Fast, so that a run takes as long as
/// its exchanges do; the runs whose subject is the standard pacing (its rests before commands,
/// its answers ended by a silence) ask for it by name. They cost about 0.8 s an exchange.
enum class Pacing { Fast, Standard };

struct Home {
    QString path(const QString& name = {}) const { return dir.filePath(name); }
    QByteArray read(const QString& name) const { return readFile(path(name)); }
    bool writeIni(const QByteArray& body) const { return writeFile(path("Telvane.ini"), body); }
    /// Telvane.ini naming `port`, the poll period and the pacing, then `more`; once there, only
    /// the port changes (the gateway keeps its counters in the file).
    bool usePort(const QString& port, const QByteArray& more = {}, const char* period = "10",
                 Pacing pacing = Pacing::Fast) const {
        QByteArray ini = read("Telvane.ini");
        const QByteArray line = "ComPort=" + port.toUtf8() + "\r\n";
        const qsizetype at = ini.indexOf("ComPort=");
        if (at < 0)
            return writeIni("[Options]\r\n" + line + "Period=" + period + "\r\nPacing=" +
                            (pacing == Pacing::Fast ? "fast" : "standard") + "\r\n" + more);
        return writeIni(ini.replace(at, ini.indexOf("\r\n", at) + 2 - at, line));
    }
    bool useModem(const SimulatedModem& modem, const QByteArray& more = {},
                  Pacing pacing = Pacing::Fast) const {
        return usePort(modem.linkPath(), more, "10", pacing);
    }
    QString dayFile(const QString& suffix = QStringLiteral(".txt")) const {
        return path("Receive/" + QDate::currentDate().toString(u"yy-MM-dd") + suffix);
    }
    /// The lines of Logs/Log.txt without their date and time.
    QStringList log(bool utf8 = false) const {
        QStringList lines = textLines(path("Logs/Log.txt"), utf8);
        for (QString& line : lines) line = line.section(u'\t', 2);
        return lines;
    }
    /// One poll (telvaned --once); its exit code, its status texts in `statuses`.
    int runOnce(QStringList* statuses = nullptr, QString* errors = nullptr) const {
        ServiceProcess service(dir.path());
        const int code = service.run({QStringLiteral("--once")}, 120000);
        if (statuses) *statuses = service.statuses();
        if (errors) *errors = service.errors();
        return code;
    }

    QTemporaryDir dir;
};

}  // namespace telvane::test
