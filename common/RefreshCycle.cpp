#include "common/RefreshCycle.h"

#include "common/EngineRules.h"
#include "common/Log.h"
#include "platform/MainQueue.h"

namespace quillet {

RefreshCycle::RefreshCycle(MainQueue& mainQueue, std::function<void()> request,
                           std::function<bool()> allowed)
    : _mainQueue(mainQueue), _request(std::move(request)), _allowed(std::move(allowed)) {}

void RefreshCycle::refresh() {
    LogInfo("Core: refreshFromServer (ID: " + QString::number(_nextId) + ")");
    ++_nextId;
    _request();
}

void RefreshCycle::refreshIfPossible() {
    if (!_allowed())
        return;
    if (_requesting) {
        LogWarning(
            "Core: refreshFromServerIfPossible: refresh requested while requesting updated "
            "signatures, ignored");
        return;
    }
    refresh();
}

void RefreshCycle::scheduleNext(bool succeeded) {
    const double delay =
        succeeded ? kRefreshFromServer_AfterSuccess_Delay : kRefreshFromServer_AfterError_Delay;
    const std::int64_t ticket = _nextId;
    _mainQueue.postAfter(delay, [this, ticket, alive = std::weak_ptr<bool>(_alive)] {
        // A refresh that ran in between has set its own successor.
        if (alive.expired() || ticket != _nextId)
            return;
        refreshIfPossible();
    });
}

}  // namespace quillet
