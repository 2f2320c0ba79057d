#include "phone/SystemClock.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

namespace telvane::phone {

namespace {
qint64 steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

SystemClock::SystemClock() : m_origin(steadyMs()) {}

qint64 SystemClock::monotonicMs() const { return steadyMs() - m_origin; }

void SystemClock::pause(int ms) {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

void QtEventPump::run() { QCoreApplication::processEvents(); }

}  // namespace telvane::phone
