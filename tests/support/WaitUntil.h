#pragma once
// Waiting on a condition with a deadline while the event loop runs, for tests that drive
// processes (the service, simulated modems) and look at what they leave.

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace telvane::test {

/// Runs the event loop until `done` holds or the deadline passes; whether it held.
inline bool waitUntil(const std::function<bool()>& done, int deadlineMs) {
    QDeadlineTimer deadline(deadlineMs);
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired()) loop.quit();
    });
    look.start(100);
    if (!done()) loop.exec();
    return done();
}

}  // namespace telvane::test
