#include "phone/PortSettings.h"

#include <QStringList>

namespace telvane::phone {

std::optional<LineSettings> parseModeString(const QString& mode) {
    const QStringList fields = mode.split(u',');
    if (fields.size() != 4) return std::nullopt;
    LineSettings settings;
    bool ok = false;
    settings.baudRate = fields[0].trimmed().toInt(&ok);
    if (!ok || settings.baudRate <= 0) return std::nullopt;

    const QString parity = fields[1].trimmed().toUpper();
    if (parity == u"N")
        settings.parity = Parity::None;
    else if (parity == u"E")
        settings.parity = Parity::Even;
    else if (parity == u"O")
        settings.parity = Parity::Odd;
    else if (parity == u"M")
        settings.parity = Parity::Mark;
    else if (parity == u"S")
        settings.parity = Parity::Space;
    else
        return std::nullopt;

    settings.dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || settings.dataBits < 5 || settings.dataBits > 8) return std::nullopt;

    const QString stop = fields[3].trimmed();
    if (stop == u"1")
        settings.stopBits = StopBits::One;
    else if (stop == u"1.5")
        settings.stopBits = StopBits::OneAndHalf;
    else if (stop == u"2")
        settings.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return settings;
}

PortName portNameFor(const QString& comPortSetting) {
    const QString setting = comPortSetting.trimmed();
    bool isNumber = false;
    const int number = setting.toInt(&isNumber);
    if (!isNumber || number < 1) return {setting, setting};
    const QString display = QStringLiteral("COM%1").arg(number);
#ifdef Q_OS_WIN
    // From COM10 on, Windows only opens the port by its device-namespace name.
    const QString device =
        number >= 10 ? QStringLiteral("\\\\.\\COM%1").arg(number) : display + u':';
#else
    const QString device = QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
    return {device, display};
}

QString serialPortDeviceName(const QString& device) {
    if (device.size() > 3 && device.startsWith(u"COM", Qt::CaseInsensitive) &&
        device.endsWith(u':'))
        return device.chopped(1);
    return device;
}

}  // namespace telvane::phone
