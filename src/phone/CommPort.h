#pragma once
// What the command transaction needs of a serial port: write bytes, take one bounded read step
// at a time, and hear when a burst of incoming bytes has ended. ARCComm is the real one; tests
// put a scripted port in its place.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace telvane::phone {

class CommPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~CommPort() override = default;

    /// Opens and configures the device. "ComX:" and "X" stand for the ComPort and ComSettings
    /// properties. False when the device cannot be opened or configured.
    virtual bool InitCom(const QString& ComNumber = QStringLiteral("ComX:"),
                         const QString& ComSettings = QStringLiteral("X")) = 0;
    /// Writes every byte, in pieces of at most 255; true when all were written.
    virtual bool WriteData(const QByteArray& TextWrite) = 0;
    /// One read step, bounded in time (about 257 ms at most). Raises DataIn when this step
    /// brought nothing after earlier steps did: the burst has ended.
    virtual void ItIsTime() = 0;
    /// The bytes received since the last call, emptied.
    virtual QByteArray GetData() = 0;
    /// Discards what the driver still holds: output first, then input.
    virtual void PurgeBuffer() = 0;
    /// Closes the port; does nothing when it is closed.
    virtual void FinCom() = 0;
    virtual bool isOpen() const = 0;

signals:
    void DataIn();
    /// The port opened but could not be configured: a message for the front end to show.
    void configurationFailed(const QString& message);
};

}  // namespace telvane::phone
