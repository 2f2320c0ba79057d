#pragma once
// Hears the writers of the send folder finish. A file closed after writing or renamed into the
// folder is complete, and may go at once instead of after the settling wait that a file found
// by the periodic scan gets. Linux only (inotify); elsewhere the scan alone finds the files.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace telvane::send {

class OutboxWatch final : public QObject {
    Q_OBJECT
public:
    /// `onComplete` gets each file's name as its writer finishes it, on this object's thread;
    /// an empty name when the kernel dropped events (a full queue): then any file may be new.
    explicit OutboxWatch(std::function<void(const QString& name)> onComplete,
                         QObject* parent = nullptr);
    ~OutboxWatch() override;

    /// Watches `folder` instead of any earlier one; false when it cannot be watched (missing,
    /// not on this platform, no watches left).
    bool watch(const QString& folder);
    /// The folder watched now, or empty when none is (also after it was deleted).
    QString watched() const { return m_active ? m_folder : QString(); }

private:
    void readEvents();
    void close();

    std::function<void(const QString&)> m_onComplete;
    QString m_folder;
    bool m_active = false;
    int m_descriptor = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace telvane::send
