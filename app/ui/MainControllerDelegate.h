#pragma once
// What the main window asks of the application around it.

namespace quillet {

class MainControllerDelegate {
public:
    virtual ~MainControllerDelegate() = default;
    // "Check for Updates": the updater's check, or the release page when none is built in.
    virtual void checkForUpdates() = 0;
    // Ends the application (after the person confirmed the quit).
    virtual void terminate() = 0;
};

}  // namespace quillet
