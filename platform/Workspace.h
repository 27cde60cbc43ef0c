#pragma once
// The shared workspace: which applications run, and terminating, launching and opening URLs.

#include <QString>
#include <QStringList>
#include <QUrl>

namespace quillet {

class Workspace {
public:
    virtual ~Workspace() = default;
    // The bundle identifiers of the running applications (one entry per running application).
    virtual QStringList runningBundleIdentifiers() const = 0;
    // Force-terminates every running application with this bundle identifier. Returns without
    // waiting for it to go: the caller looks at runningBundleIdentifiers() until exitWaitLimit().
    virtual bool forceTerminate(const QString& bundleIdentifier) = 0;
    // How long, in seconds, a terminated application may take to exit; one still running
    // afterwards is taken to stay.
    virtual double exitWaitLimit() const { return kDefaultExitWaitLimit; }
    static constexpr double kDefaultExitWaitLimit = 5.0;
    // Launches the application bundle at this path.
    virtual bool launch(const QString& bundlePath) = 0;
    // Opens the URL with the system's default handler.
    virtual bool openUrl(const QUrl& url) = 0;
};

}  // namespace quillet
