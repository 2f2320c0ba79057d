#include "phone/ARCComm.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSerialPort>
#include <QThread>
#include <cerrno>

#include "phone/PortSettings.h"

namespace telvane::phone {

namespace {

QSerialPort::Parity toQt(Parity parity) {
    switch (parity) {
        case Parity::None:
            return QSerialPort::NoParity;
        case Parity::Even:
            return QSerialPort::EvenParity;
        case Parity::Odd:
            return QSerialPort::OddParity;
        case Parity::Mark:
            return QSerialPort::MarkParity;
        case Parity::Space:
            return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(StopBits stopBits) {
    switch (stopBits) {
        case StopBits::One:
            return QSerialPort::OneStop;
        case StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case StopBits::Two:
            return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

QString errorSuffix(int code) { return QStringLiteral(" Error: %1").arg(code); }

}  // namespace

ARCComm::ARCComm(QObject* parent) : CommPort(parent) {}

ARCComm::~ARCComm() { FinCom(); }

bool ARCComm::InitCom(const QString& ComNumber, const QString& ComSettingsArg) {
    if (isOpen()) FinCom();
    const QString device = ComNumber == u"ComX:" ? ComPort : ComNumber;
    const QString mode = ComSettingsArg == u"X" ? ComSettings : ComSettingsArg;

    auto port = std::make_unique<QSerialPort>();
    port->setPortName(serialPortDeviceName(device));
    // Exclusive: a second program on the same port would steal the phone's answers.
    if (!port->open(QIODevice::ReadWrite)) return false;

    const std::optional<LineSettings> line = parseModeString(mode);
    if (!line) {
        emit configurationFailed(QStringLiteral("Unable to build Comm DCB ") + mode +
                                 errorSuffix(EINVAL));
        port->close();
        return false;
    }
    const bool applied = port->setBaudRate(line->baudRate) &&
                         port->setDataBits(static_cast<QSerialPort::DataBits>(line->dataBits)) &&
                         port->setParity(toQt(line->parity)) &&
                         port->setStopBits(toQt(line->stopBits)) &&
                         port->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) {
        emit configurationFailed(QStringLiteral("Unable to set Comm DCB ") + mode +
                                 errorSuffix(static_cast<int>(port->error())));
        port->close();
        return false;
    }
    m_port = std::move(port);
    m_failed = false;
    connect(m_port.get(), &QSerialPort::readyRead, this, &ARCComm::takeUnasked);
    return true;
}

bool ARCComm::isOpen() const { return m_port && m_port->isOpen(); }

QList<QByteArray> ARCComm::writePieces(const QByteArray& text) {
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < text.size(); at += WritePieceSize)
        pieces.append(text.mid(at, WritePieceSize));
    return pieces;
}

bool ARCComm::WriteData(const QByteArray& TextWrite) {
    if (!isOpen()) return false;
    for (const QByteArray& piece : writePieces(TextWrite)) {
        if (m_port->write(piece) != piece.size()) return !noteFailure();
        // Drain before the next piece; a vanished device reports the failure here.
        while (m_port->bytesToWrite() > 0) {
            if (!m_port->waitForBytesWritten(ReadTotalMs * 4)) return !noteFailure();
        }
    }
    return true;
}

void ARCComm::setListening(bool listening) {
    m_listening = listening;
    // What came while a transaction ended is not announced again by the driver.
    if (listening) takeUnasked();
}

void ARCComm::takeUnasked() {
    if (!m_listening || m_reading || !isOpen()) return;
    const QByteArray chunk = m_port->readAll();
    if (chunk.isEmpty()) return;
    m_bytesRead += quint64(chunk.size());
    m_received += chunk;
    emit DataIn();
}

QByteArray ARCComm::readOnce() {
    QByteArray& chunk = m_step;
    m_reading = true;
    const auto readingEnds = qScopeGuard([this] { m_reading = false; });
    QElapsedTimer elapsed;
    elapsed.start();
    if (!isOpen()) {
        // A read on a port that is not there times out like an empty one, so that a caller
        // waiting for an answer does not spin.
        QThread::msleep(ReadTotalMs);
        return chunk;
    }
    while (chunk.size() < ReadBufferSize) {
        qint64 wait = ReadTotalMs - elapsed.elapsed();
        if (!chunk.isEmpty()) {
            if (m_passEveryChunk && m_port->bytesAvailable() == 0) break;
            wait = std::min<qint64>(wait, ReadIntervalMs);
        }
        if (wait <= 0) break;
        if (m_port->bytesAvailable() == 0) {
            QElapsedTimer waited;
            waited.start();
            if (!m_port->waitForReadyRead(static_cast<int>(wait))) {
                noteFailure();
                break;
            }
        }
        chunk += m_port->read(ReadBufferSize - chunk.size());
        emit arrived();
    }
    return std::exchange(chunk, {});
}

bool ARCComm::noteFailure() {
    const QSerialPort::SerialPortError error = m_port->error();
    // A write that merely did not drain in time, or a read step without bytes, is no failure.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return false;
    m_failed = true;
    return true;
}

void ARCComm::ItIsTime() {
    const QByteArray chunk = readOnce();
    if (!chunk.isEmpty()) {
        m_bytesRead += quint64(chunk.size());
        m_received += chunk;
        if (m_passEveryChunk) {
            emit DataIn();
            return;
        }
        m_dataPending = true;
        return;
    }
    if (m_dataPending) {
        m_dataPending = false;
        emit DataIn();
    }
}

QByteArray ARCComm::GetData() {
    QByteArray data;
    data.swap(m_received);
    return data;
}

void ARCComm::PurgeBuffer() {
    if (!isOpen()) return;
    m_port->clear(QSerialPort::Output);
    m_port->clear(QSerialPort::Input);
}

void ARCComm::FinCom() {
    if (m_port) {
        m_port->close();
        m_port.reset();
    }
}

}  // namespace telvane::phone
