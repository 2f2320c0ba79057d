#include "ControlServer.h"

#include <unistd.h>

#include <QLocalSocket>

#include "ModemEngine.h"
#include "PtyLink.h"

namespace telvane::simulator {

namespace {

constexpr qsizetype kMaxRequest = 4096;

}  // namespace

ControlServer::ControlServer(ModemEngine& engine, PtyLink& link, QObject* parent)
    : QObject(parent), m_engine(engine), m_link(link) {
    connect(&m_server, &QLocalServer::newConnection, this, &ControlServer::acceptConnection);
}

ControlServer::~ControlServer() { m_server.close(); }

QString ControlServer::listen(const QString& path) {
    QLocalServer::removeServer(path);
    if (!m_server.listen(path)) return m_server.errorString();
    return {};
}

void ControlServer::acceptConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto answer = [this, socket](const QByteArray& line) {
            socket->write((handle(QString::fromUtf8(line).trimmed()) + QLatin1Char('\n')).toUtf8());
            // A client that closed its sending side ("echo ... | socat") makes the socket close
            // as soon as that end is seen: the answer must be on its way before then.
            socket->flush();
        };
        connect(socket, &QLocalSocket::readyRead, this, [socket, answer] {
            while (socket->canReadLine()) answer(socket->readLine());
            if (socket->bytesAvailable() > kMaxRequest) {
                socket->write("ERROR request line too long\n");
                socket->disconnectFromServer();
            }
        });
        // A last request without its line end is only seen once the client has closed its
        // side, when the socket has given up its descriptor: answer through a copy of it.
        const int spare = ::dup(static_cast<int>(socket->socketDescriptor()));
        connect(socket, &QLocalSocket::readChannelFinished, this, [this, socket, spare] {
            if (socket->bytesAvailable() == 0 || spare < 0) return;
            const QByteArray reply =
                (handle(QString::fromUtf8(socket->readAll()).trimmed()) + QLatin1Char('\n'))
                    .toUtf8();
            [[maybe_unused]] const auto n = ::write(spare, reply.constData(), reply.size());
        });
        connect(socket, &QObject::destroyed, [spare] {
            if (spare >= 0) ::close(spare);
        });
    }
}

QString ControlServer::handle(const QString& request) {
    const QStringList words = request.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) return QStringLiteral("ERROR empty request");
    const QString verb = words[0].toLower();
    const auto argument = [&words](int i) { return words.value(i).toStdString(); };
    if (verb == QLatin1String("deliver")) {
        const std::string memory = words.value(1).toUpper().toStdString();
        if (words.size() != 3 || !m_engine.memory(memory)) {
            return QStringLiteral("ERROR usage: deliver me|sm|sr HEX");
        }
        const auto result = m_engine.deliver(memory, argument(2));
        if (result.toHost) return QStringLiteral("OK host");
        if (result.waiting) return QStringLiteral("OK waiting");
        if (!result.index) return QStringLiteral("ERROR ") + QString::fromStdString(result.error);
        return QStringLiteral("OK %1").arg(*result.index);
    }
    if (verb == QLatin1String("list")) {
        const auto* m = m_engine.memory(words.value(1).toUpper().toStdString());
        if (words.size() != 2 || !m) return QStringLiteral("ERROR usage: list me|sm|sr");
        QString answer = QStringLiteral("OK");
        for (const auto index : m->indexes()) {
            const auto* message = m->at(index);
            answer += QStringLiteral(" %1,%2,%3")
                          .arg(index)
                          .arg(static_cast<int>(message->stat))
                          .arg(QString::fromStdString(message->pduHex));
        }
        return answer;
    }
    if (verb == QLatin1String("network") && words.size() == 2) {
        const auto state = registrationNamed(argument(1));
        if (!state)
            return QStringLiteral(
                "ERROR usage: network home|roaming|searching|denied|unknown|none");
        m_engine.setRegistration(*state);
        return QStringLiteral("OK");
    }
    if (verb == QLatin1String("signal") && words.size() == 2) {
        bool ok = false;
        const int rssi = words[1].toInt(&ok);
        if (!ok || !m_engine.setSignal(rssi)) return QStringLiteral("ERROR usage: signal 0-31|99");
        return QStringLiteral("OK");
    }
    if (verb == QLatin1String("sim") && words.size() == 2) {
        const std::string error = m_engine.setSim(argument(1));
        if (!error.empty()) return QStringLiteral("ERROR ") + QString::fromStdString(error);
        return QStringLiteral("OK");
    }
    if (verb == QLatin1String("settings") && words.size() == 1) {
        return QStringLiteral("OK ") + QString::fromStdString(m_engine.settings());
    }
    if (verb == QLatin1String("unplug") && words.size() == 1) {
        m_link.unplug();
        m_engine.resetLine();
        return QStringLiteral("OK");
    }
    if (verb == QLatin1String("plug") && words.size() == 1) {
        if (m_link.isPlugged()) return QStringLiteral("OK ") + m_link.slavePath();
        if (const QString error = m_link.plug(); !error.isEmpty()) {
            return QStringLiteral("ERROR ") + error;
        }
        return QStringLiteral("OK ") + m_link.slavePath();
    }
    return QStringLiteral("ERROR unknown request \"%1\"").arg(request.left(80));
}

}  // namespace telvane::simulator
