#pragma once
// Port naming and the line mode string ("9600,N,8,1"), as pure functions.

#include <QString>
#include <optional>

namespace telvane::phone {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
    qint32 baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

/// Parses "speed,parity,data,stop" (parity letter N, E, O, M or S in either case; data bits
/// 5 to 8; stop bits 1, 1.5 or 2). Blanks around the fields are allowed.
std::optional<LineSettings> parseModeString(const QString& mode);

/// What the ComPort setting names.
struct PortName {
    /// The device to open: "COM1:" or "\\.\COM10" on Windows, "/dev/ttyS0" on Linux for a
    /// number, or the setting itself when it is a path.
    QString device;
    /// What the status text shows: "COM1" for a number, the path for a path.
    QString display;
};

/// A number n names COMn on Windows and /dev/ttyS(n-1) elsewhere; anything else (a path such
/// as /dev/ttyUSB0 or a pseudo-terminal link) is used as it stands.
PortName portNameFor(const QString& comPortSetting);

/// The device name that QSerialPort wants for a device name of the original syntax: "COM1:"
/// loses its colon; everything else is unchanged.
QString serialPortDeviceName(const QString& device);

}  // namespace telvane::phone
