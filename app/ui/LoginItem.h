#pragma once
// Starting the application at login: on Linux an XDG autostart entry, on a Mac the login-item
// helper inside the bundle.

#include <QString>

namespace quillet {

class LoginItem {
public:
    virtual ~LoginItem() = default;
    // Registers and enables the start at login; false (after logging why) when it failed.
    virtual bool enable() = 0;
};

// The XDG autostart entry HOME/.config/autostart/<desktopFileName>.desktop that starts program.
class XdgAutostartLoginItem : public LoginItem {
public:
    XdgAutostartLoginItem(QString home, QString desktopFileName, QString appName, QString program);
    bool enable() override;
    QString entryPath() const;

private:
    QString _home, _desktopFileName, _appName, _program;
};

// The package's systemd user unit runs `quillet run` after login, which keeps the signatures
// current as the application does; two of them on one store would run every pass twice. The
// application asks the user's service manager to stop the unit (the unit itself does not start
// while the application runs). Quietly nothing where there is no such manager.
void StopCommandKeepingSignaturesCurrent();

}  // namespace quillet
