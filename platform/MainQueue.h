#pragma once
// The main queue: the one thread that runs the engine, its timers and its notifications.

#include <functional>

namespace quillet {

class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Runs fn on the main thread on a later turn of its loop. Safe from any thread.
    virtual void post(std::function<void()> fn) = 0;
    // Runs fn on the main thread once `seconds` have passed on this queue's clock.
    virtual void postAfter(double seconds, std::function<void()> fn) = 0;
    // Runs fn on the main thread and returns when it has run; called from background work
    // (account discovery). Called on the main thread, it runs fn at once.
    virtual void runOnMainAndWait(std::function<void()> fn) = 0;
    // The current time as Unix seconds; every "now" the engine takes comes from here.
    virtual double now() const = 0;
};

}  // namespace quillet
