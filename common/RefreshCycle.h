#pragma once
// The rhythm in which both engines keep the service's signatures current: a refresh asks the
// service at once unless an answer is still awaited; when it ends, the next one is due two hours
// after a success and five minutes after a failure, unless another refresh started in between
// and set its own.

#include <cstdint>
#include <functional>
#include <memory>

namespace quillet {

class MainQueue;

class RefreshCycle {
public:
    // request asks the service (the engine's RequestUpdatedSignatures and what it counts);
    // allowed says whether a refresh may start now (a preview's engine refreshes on its own).
    RefreshCycle(
        MainQueue& mainQueue, std::function<void()> request,
        std::function<bool()> allowed = [] { return true; });
    RefreshCycle(const RefreshCycle&) = delete;
    RefreshCycle& operator=(const RefreshCycle&) = delete;

    // Asks the service now.
    void refresh();
    // Asks the service unless that is not allowed or an answer is awaited.
    void refreshIfPossible();
    // Told by the service client while an answer is awaited.
    void setRequesting(bool requesting) { _requesting = requesting; }
    bool isRequesting() const { return _requesting; }
    // Sets the next refresh after one that ended.
    void scheduleNext(bool succeeded);

private:
    MainQueue& _mainQueue;
    std::function<void()> _request;
    std::function<bool()> _allowed;
    std::int64_t _nextId = 1;
    bool _requesting = false;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace quillet
