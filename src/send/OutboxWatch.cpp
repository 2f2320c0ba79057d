#include "send/OutboxWatch.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace telvane::send {

OutboxWatch::OutboxWatch(std::function<void(Event, const QString&)> onEvent, QObject* parent)
    : QObject(parent), m_onEvent(std::move(onEvent)) {}

OutboxWatch::~OutboxWatch() { close(); }

void OutboxWatch::close() {
    // Also called from the notifier's own signal: it goes once that has returned.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
#ifdef Q_OS_LINUX
    if (m_descriptor >= 0) ::close(m_descriptor);
#endif
    m_descriptor = -1;
    m_active = false;
}

bool OutboxWatch::watch(const QString& folder) {
    close();
    m_folder = folder;
#ifdef Q_OS_LINUX
    m_descriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_descriptor < 0) return false;
    // The two ways a file becomes whole (its writer closed it, or it was renamed in), and a
    // time set after the close, which makes the file look changed since it was finished.
    const QByteArray path = QFile::encodeName(QDir::toNativeSeparators(folder));
    if (::inotify_add_watch(m_descriptor, path.constData(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR) < 0) {
        close();
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_descriptor, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &OutboxWatch::readEvents);
    m_active = true;
    return true;
#else
    return false;
#endif
}

void OutboxWatch::readEvents() {
#ifdef Q_OS_LINUX
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t got = ::read(m_descriptor, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            return;  // EAGAIN: all read
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const QString name = event->len > 0 ? QFile::decodeName(event->name) : QString();
            if (event->mask & IN_Q_OVERFLOW) {
                m_onEvent(Event::Overflow, name);
            } else if (event->mask & IN_IGNORED) {
                // The folder was deleted or moved: the next poll watches it again once it is back.
                m_active = false;
            } else if (!name.isEmpty()) {
                m_onEvent(event->mask & IN_ATTRIB ? Event::Touched : Event::Finished, name);
            }
        }
        if (!m_active) {
            close();
            return;
        }
    }
#endif
}

}  // namespace telvane::send
