#pragma once
// The serial-port component: opens a port by device name and mode string, writes text, and
// reads by polling. Its owner calls ItIsTime again and again; each call does one bounded read,
// and DataIn is raised once a burst of incoming text has ended. Text is bytes, one per character.

#include <QByteArray>
#include <QString>
#include <memory>

#include "phone/CommPort.h"

class QSerialPort;

namespace telvane::phone {

class ARCComm final : public CommPort {
    Q_OBJECT
public:
    /// Bounds of one read step: a step returns when it has 256 bytes, when ReadIntervalMs pass
    /// between two bytes, or after ReadTotalMs without a complete buffer.
    static constexpr int ReadBufferSize = 256;
    static constexpr int ReadIntervalMs = 200;
    static constexpr int ReadTotalMs = ReadBufferSize * 1 + 1;
    /// Longest piece handed to one write call.
    static constexpr int WritePieceSize = 255;

    explicit ARCComm(QObject* parent = nullptr);
    ~ARCComm() override;

    QString ComPort = QStringLiteral("Com1:");
    QString ComSettings = QStringLiteral("9600,N,8,1");
    /// Kept for callers that set it; it does not limit reading.
    qint16 MaximumChars = 255;

    bool InitCom(const QString& ComNumber = QStringLiteral("ComX:"),
                 const QString& ComSettings = QStringLiteral("X")) override;
    bool WriteData(const QByteArray& TextWrite) override;
    void ItIsTime() override;
    QByteArray GetData() override;
    QByteArray pending() const override { return m_received + m_step; }
    void PurgeBuffer() override;
    void FinCom() override;
    bool isOpen() const override;
    quint64 bytesRead() const override { return m_bytesRead; }
    bool failed() const override { return m_failed; }
    void setPassEveryChunk(bool pass) override { m_passEveryChunk = pass; }
    void setListening(bool listening) override;

    /// The pieces a text is written in, in order.
    static QList<QByteArray> writePieces(const QByteArray& text);

private:
    QByteArray readOnce();
    /// Records a device error that no later read or write survives; true when it was one.
    bool noteFailure();
    /// Bytes that arrived while nobody reads: taken at once when listening.
    void takeUnasked();

    std::unique_ptr<QSerialPort> m_port;
    QByteArray m_received;
    QByteArray m_step;  ///< what the read step in progress has brought so far
    bool m_dataPending = false;
    quint64 m_bytesRead = 0;
    bool m_failed = false;
    bool m_passEveryChunk = false;
    bool m_listening = false;
    bool m_reading = false;  ///< inside a read step, whose waits also raise readyRead
};

}  // namespace telvane::phone
