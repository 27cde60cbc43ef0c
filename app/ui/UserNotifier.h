#pragma once
// User notifications outside the window: the desktop's notification service or the tray's
// message balloon.

#include <QString>

namespace quillet {

class UserNotifier {
public:
    virtual ~UserNotifier() = default;
    // Delivers one notification with the default sound; it is not an error when the desktop
    // shows none.
    virtual void deliver(const QString& title, const QString& informativeText) = 0;
};

}  // namespace quillet
