#pragma once
// Turns SIGINT and SIGTERM into a Qt signal on the main thread (a self-pipe: a signal handler
// may only write to a descriptor).

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class SignalWatcher final : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
