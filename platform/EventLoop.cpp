#include "platform/EventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace quillet {

bool RunEventLoopUntil(const std::function<bool()>& done, double timeoutSeconds) {
    QElapsedTimer elapsed;
    elapsed.start();
    // A heartbeat wakes the blocking wait below, so that a condition set by another thread
    // without posting an event is still seen.
    QTimer heartbeat;
    heartbeat.start(10);
    while (!done()) {
        if (timeoutSeconds >= 0 && elapsed.elapsed() > timeoutSeconds * 1000.0)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace quillet
