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
    enum class Event {
        Finished,  ///< closed after writing, or renamed into the folder
        Touched,   ///< its times or permissions changed (a writer that sets the time after
                   ///< closing, as copies that keep times do)
        Overflow,  ///< the kernel dropped events: any file may be new (no name)
    };

    /// `onEvent` gets each event with the file's name, on this object's thread.
    explicit OutboxWatch(std::function<void(Event, const QString& name)> onEvent,
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

    std::function<void(Event, const QString&)> m_onEvent;
    QString m_folder;
    bool m_active = false;
    int m_descriptor = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace telvane::send
