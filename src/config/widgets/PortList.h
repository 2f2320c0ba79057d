#pragma once
// The entries of the options dialog's port and speed lists. The operator may still type any
// port (a path, or the number form) and any speed.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace telvane::config {

/// A serial port the system knows of.
struct FoundPort {
    QString path;  ///< what the port setting stores, e.g. "/dev/ttyUSB2"
    QString description;
    QString manufacturer;
};

using FindPorts = std::function<QList<FoundPort>()>;

/// The ports the system lists (QSerialPortInfo) and, on Linux, their lasting names in
/// /dev/serial/by-id: a USB modem's ttyUSB number can change when it is plugged in again, its
/// by-id name does not. A pseudo-terminal (a simulated modem) is in neither.
QList<FoundPort> findSerialPorts();

/// One entry of the port list: the port stored when it is chosen, and the text shown for it.
struct PortChoice {
    QString port;
    QString text;
};

/// Every port found, as "path — description (manufacturer)", then the stored port when it is
/// not among them: a port unplugged for now, or a pseudo-terminal that no scan finds.
QList<PortChoice> portChoices(const QList<FoundPort>& found, const std::optional<QString>& stored);

/// The speeds GSM phones and modems commonly take.
QStringList usualSpeeds();

}  // namespace telvane::config
