#include "store/QueueBell.h"

#include <QSocketNotifier>

#include "Postgres.h"

namespace telvane::store {

QueueBell::QueueBell(QString url, QObject* parent) : QObject(parent), m_url(std::move(url)) {
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &QueueBell::listen);
    listen();
}

QueueBell::~QueueBell() = default;

void QueueBell::listen() {
    m_notifier.reset();
    if (!m_db) {
        auto opened = postgres::Connection::open(m_url);
        if (opened) m_db = std::move(opened.value());
    }
    if (!m_db || !m_db->listen(QString::fromLatin1(kQueuedChannel)) || m_db->socket() < 0) {
        m_retry.start();
        return;
    }
    m_retry.stop();
    m_notifier = std::make_unique<QSocketNotifier>(m_db->socket(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &QueueBell::read);
    emit rang();
}

void QueueBell::read() {
    if (!m_notifier) return;
    const QStringList heard = m_db->takeNotifications();
    if (m_db->socket() < 0) {
        // The server went away: its socket would wake us for ever. Listen again once it is back.
        // The notifier is in the middle of telling us, so it goes once it has.
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
        m_retry.start();
    }
    if (!heard.isEmpty()) emit rang();
}

}  // namespace telvane::store
