#include "platform/ManualMainQueue.h"

#include <QCoreApplication>

namespace quillet {

ManualMainQueue::ManualMainQueue(double startUnixTime) : _now(startUnixTime) {}

void ManualMainQueue::postAfter(double seconds, std::function<void()> fn) {
    _delayed.emplace(std::make_pair(_now + std::max(0.0, seconds), _sequence++), std::move(fn));
}

void ManualMainQueue::advance(double seconds) {
    const double target = _now + seconds;
    QCoreApplication::processEvents();
    while (!_delayed.empty() && _delayed.begin()->first.first <= target) {
        auto node = _delayed.extract(_delayed.begin());
        _now = node.key().first;
        node.mapped()();
        QCoreApplication::processEvents();
    }
    _now = target;
}

std::vector<double> ManualMainQueue::pendingDelays() const {
    std::vector<double> delays;
    for (const auto& [key, fn] : _delayed)
        delays.push_back(key.first - _now);
    return delays;
}

}  // namespace quillet
