#pragma once
// Debian's real Thunderbird on a home of its own, headless, driven over Marionette on loopback.
// The first start lets Thunderbird make its profiles the way it does for a new user
// (profiles.ini, installs.ini, its install profile "*.default-default" and the empty legacy
// "*.default"); later starts listen for Marionette on a free port, written into the install
// profile's user.js, so that a Thunderbird started again by someone else listens there too.

#include <QProcess>
#include <QString>

#include "tests/support/Marionette.h"

namespace quillet {

class RealThunderbird {
public:
    static bool isInstalled();

    explicit RealThunderbird(QString home);
    ~RealThunderbird();  // ends what it started, and a Thunderbird it attached to

    // The first start: waits for the profiles, then ends Thunderbird with SIGTERM.
    bool createProfiles();
    // The profile installs.ini names for this installation.
    QString installProfile() const;
    // Starts Thunderbird with Marionette and connects.
    bool start();
    // Connects to a Thunderbird started by someone else on the port start() chose.
    bool attach();
    MarionetteClient& marionette() { return _marionette; }
    // Quits through Marionette and waits until the process has gone.
    bool quit();
    // Waits until the process with this id has gone.
    static bool waitForExit(qint64 pid, int timeoutMs);

    const QString& lastError() const { return _lastError; }

private:
    bool fail(const QString& error) {
        _lastError = error;
        return false;
    }

    QString _home;
    quint16 _port = 0;
    QProcess _process;
    MarionetteClient _marionette;
    QString _lastError;
};

}  // namespace quillet
