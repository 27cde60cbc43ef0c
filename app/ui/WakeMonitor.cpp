#include "app/ui/WakeMonitor.h"

#include <QDateTime>

namespace quillet {

WakeMonitor::WakeMonitor(std::function<void()> onWake, int intervalMs, QObject* parent)
    : QObject(parent),
      _onWake(std::move(onWake)),
      _intervalMs(intervalMs),
      _lastCheckMs(QDateTime::currentMSecsSinceEpoch()) {
    _timer.setInterval(intervalMs);
    connect(&_timer, &QTimer::timeout, this, [this] {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const bool woke = now - _lastCheckMs > 3 * static_cast<qint64>(_intervalMs);
        _lastCheckMs = now;
        if (woke)
            _onWake();
    });
    _timer.start();
}

}  // namespace quillet
