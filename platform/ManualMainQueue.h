#pragma once
// A main queue for tests: work posted for "now" runs on the Qt event loop as in the programs,
// but delayed work waits on a manual clock that only advance() moves, so a 7,200-second timer
// is tested in microseconds.

#include <map>
#include <utility>

#include "platform/QtMainQueue.h"

namespace quillet {

class ManualMainQueue : public QtMainQueue {
public:
    explicit ManualMainQueue(double startUnixTime = 1'800'000'000.0);

    void postAfter(double seconds, std::function<void()> fn) override;
    double now() const override { return _now; }

    // Moves the clock forward, running the delayed work that comes due, in due order, each at its
    // own time; the work it posts for "now" runs before the next delayed item.
    void advance(double seconds);
    // The due times of the delayed work still waiting, in order (relative to now).
    std::vector<double> pendingDelays() const;

private:
    double _now;
    std::multimap<std::pair<double, unsigned long>, std::function<void()>> _delayed;
    unsigned long _sequence = 0;
};

}  // namespace quillet
