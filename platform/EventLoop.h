#pragma once
// Waiting for the engine's work without blocking the main thread: the event loop keeps running
// (network replies, posted work, discovery hand-overs) until the work says it is done.

#include <functional>

namespace quillet {

// Runs the current thread's event loop until done() is true; false when timeoutSeconds passed
// first (a negative timeout waits for ever).
bool RunEventLoopUntil(const std::function<bool()>& done, double timeoutSeconds = -1);

}  // namespace quillet
