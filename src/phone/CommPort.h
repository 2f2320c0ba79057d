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
    /// The bytes of a burst still coming, received (also within the read step in progress) but
    /// not yet passed on by DataIn; a look only, GetData() still gives them.
    virtual QByteArray pending() const { return {}; }
    /// Discards what the driver still holds: output first, then input.
    virtual void PurgeBuffer() = 0;
    /// Closes the port; does nothing when it is closed.
    virtual void FinCom() = 0;
    virtual bool isOpen() const = 0;
    /// Bytes read since the port was opened: a transaction sees the line is busy before a
    /// burst has ended.
    virtual quint64 bytesRead() const = 0;
    /// The device failed in a way no later read or write survives (unplugged, reset); cleared
    /// when the port is opened again.
    virtual bool failed() const = 0;
    /// True: every read step that brought bytes raises DataIn at once, and a step ends as
    /// soon as no more bytes are waiting, so that the reader can judge the answer itself.
    virtual void setPassEveryChunk(bool) {}
    /// True between transactions: what the phone says unasked is passed on (DataIn) as soon as
    /// it arrives, so that an announcement of a new message is heard before the next poll.
    virtual void setListening(bool) {}

signals:
    void DataIn();
    /// Bytes came, within a read step: pending() has them now, DataIn passes them on later.
    void arrived();
    /// The port opened but could not be configured: a message for the front end to show.
    void configurationFailed(const QString& message);
};

}  // namespace telvane::phone
