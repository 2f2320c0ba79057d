#include "PtyLink.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace telvane::simulator {

namespace {

QString errnoText(const char* what) {
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

// The speeds termios can name, for following what the host set on the port.
constexpr struct {
    speed_t code;
    int baud;
} kSpeeds[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
               {B19200, 19200},   {B38400, 38400},   {B57600, 57600},  {B115200, 115200},
               {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};

}  // namespace

PtyLink::PtyLink(QString linkPath, QObject* parent)
    : QObject(parent), m_linkPath(std::move(linkPath)) {
    m_paceTimer.setSingleShot(true);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_paceTimer, &QTimer::timeout, this, &PtyLink::paceTick);
}

PtyLink::~PtyLink() { unplug(); }

QString PtyLink::plug() {
    if (isPlugged()) return {};
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0) return errnoText("posix_openpt");
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        const QString error = errnoText("grantpt/unlockpt");
        ::close(master);
        return error;
    }
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        const QString error = errnoText("ptsname");
        ::close(master);
        return error;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) {
        const QString error = errnoText("open slave");
        ::close(master);
        return error;
    }
    // A modem line is 8-bit clean: no echo, no CR/LF translation, no signals from Ctrl-Z.
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(slave, TCSANOW, &tio);

    m_master = master;
    m_slaveKeeper = slave;
    m_slavePath = QString::fromLocal8Bit(name);
    if (const QString error = pointLink(); !error.isEmpty()) {
        unplug();  // the link was not made, so whatever stands at its path stays
        return error;
    }
    m_linked = true;
    m_readNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &PtyLink::readReady);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &PtyLink::writeReady);
    return {};
}

// The link is replaced atomically (rename over it), so a host that polls for it never sees a
// link to a dead terminal. Only a symbolic link is ever replaced: a real file there is an error.
QString PtyLink::pointLink() {
    const QByteArray link = QFile::encodeName(m_linkPath);
    struct stat st {};
    if (lstat(link.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        return QStringLiteral("%1 exists and is not a symbolic link").arg(m_linkPath);
    }
    const QByteArray temporary = link + ".new";
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(m_slavePath).constData(), temporary.constData()) != 0) {
        return errnoText("symlink");
    }
    if (::rename(temporary.constData(), link.constData()) != 0) {
        const QString error = errnoText("rename link");
        ::unlink(temporary.constData());
        return error;
    }
    return {};
}

void PtyLink::unplug() {
    if (!isPlugged()) return;
    m_readNotifier.reset();
    m_writeNotifier.reset();
    if (m_linked) ::unlink(QFile::encodeName(m_linkPath).constData());
    m_linked = false;
    ::close(m_slaveKeeper);
    ::close(m_master);
    m_slaveKeeper = -1;
    m_master = -1;
    m_outgoing.clear();
    m_toHost.clear();
    m_fromHost.clear();
    m_paceTimer.stop();
}

void PtyLink::setBaud(int baud) { m_baud = baud; }

int PtyLink::currentBaud() const {
    if (m_baud != kFollowPort) return m_baud;
    termios tio{};
    if (m_slaveKeeper < 0 || tcgetattr(m_slaveKeeper, &tio) != 0) return 0;
    for (const auto& s : kSpeeds) {
        if (cfgetospeed(&tio) == s.code) return s.baud;
    }
    return 0;
}

void PtyLink::write(const QByteArray& bytes) {
    if (!isPlugged()) return;
    m_toHost.setBaud(currentBaud());
    if (m_toHost.baud() == 0) {
        m_outgoing += bytes;
        writeReady();
        return;
    }
    m_toHost.push(bytes, LinePace::Clock::now());
    schedulePace();
}

void PtyLink::paceTick() {
    const auto now = LinePace::Clock::now();
    if (const QByteArray in = m_fromHost.take(now); !in.isEmpty()) {
        emit received(in);
        if (!isPlugged()) return;
    }
    if (const QByteArray out = m_toHost.take(now); !out.isEmpty()) {
        m_outgoing += out;
        writeReady();
    }
    schedulePace();
}

void PtyLink::schedulePace() {
    std::optional<LinePace::Clock::time_point> due = m_fromHost.nextDue();
    if (const auto out = m_toHost.nextDue(); out && (!due || *out < *due)) due = out;
    if (!due) return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - LinePace::Clock::now());
    m_paceTimer.start(std::max(wait, std::chrono::milliseconds(0)));
}

void PtyLink::writeReady() {
    while (!m_outgoing.isEmpty()) {
        const ssize_t n =
            ::write(m_master, m_outgoing.constData(), static_cast<size_t>(m_outgoing.size()));
        if (n < 0) {
            if (errno == EINTR) continue;
            break;  // EAGAIN: the host has not read yet; wait for room
        }
        m_outgoing.remove(0, n);
    }
    m_writeNotifier->setEnabled(!m_outgoing.isEmpty());
}

void PtyLink::readReady() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            m_fromHost.setBaud(currentBaud());
            if (m_fromHost.baud() > 0) {
                m_fromHost.push(QByteArray(buffer, n), LinePace::Clock::now());
                schedulePace();
                continue;
            }
            emit received(QByteArray(buffer, n));
            if (!isPlugged()) return;  // a control request may have unplugged meanwhile
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

}  // namespace telvane::simulator
