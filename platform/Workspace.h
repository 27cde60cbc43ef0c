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
    // Force-terminates every running application with this bundle identifier.
    virtual bool forceTerminate(const QString& bundleIdentifier) = 0;
    // Launches the application bundle at this path.
    virtual bool launch(const QString& bundlePath) = 0;
    // Opens the URL with the system's default handler.
    virtual bool openUrl(const QUrl& url) = 0;
};

}  // namespace quillet
