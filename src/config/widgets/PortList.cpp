#include "config/widgets/PortList.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace telvane::config {

QList<FoundPort> findSerialPorts() {
    QList<FoundPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back({info.systemLocation(), info.description(), info.manufacturer()});
#ifdef Q_OS_LINUX
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::AllEntries | QDir::System)) {
        if (link.isSymLink()) ports.push_back({link.absoluteFilePath(), link.symLinkTarget(), {}});
    }
#endif
    return ports;
}

QList<PortChoice> portChoices(const QList<FoundPort>& found, const std::optional<QString>& stored) {
    QList<PortChoice> choices;
    bool storedFound = false;
    for (const FoundPort& port : found) {
        QString detail = port.description;
        if (!port.manufacturer.isEmpty() && !detail.contains(port.manufacturer)) {
            detail = detail.isEmpty() ? port.manufacturer
                                      : detail + QStringLiteral(" (%1)").arg(port.manufacturer);
        }
        choices.push_back(
            {port.path, detail.isEmpty() ? port.path : port.path + QStringLiteral(" — ") + detail});
        storedFound = storedFound || (stored && port.path == *stored);
    }
    if (stored && !stored->trimmed().isEmpty() && !storedFound)
        choices.push_back({*stored, *stored + QStringLiteral(" — из настроек")});
    return choices;
}

QStringList usualSpeeds() {
    return {QStringLiteral("9600"),  QStringLiteral("19200"),  QStringLiteral("38400"),
            QStringLiteral("57600"), QStringLiteral("115200"), QStringLiteral("230400"),
            QStringLiteral("460800")};
}

}  // namespace telvane::config
