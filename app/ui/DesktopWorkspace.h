#pragma once
// The workspace of the application on a desktop: the system's view of running applications
// (handed in), with URLs opened by the desktop's default handler (browser, mail program).

#include "platform/Workspace.h"

namespace quillet {

class DesktopWorkspace : public Workspace {
public:
    explicit DesktopWorkspace(Workspace& applications) : _applications(applications) {}

    QStringList runningBundleIdentifiers() const override {
        return _applications.runningBundleIdentifiers();
    }
    bool forceTerminate(const QString& bundleIdentifier) override {
        return _applications.forceTerminate(bundleIdentifier);
    }
    double exitWaitLimit() const override { return _applications.exitWaitLimit(); }
    bool launch(const QString& bundlePath) override { return _applications.launch(bundlePath); }
    bool openUrl(const QUrl& url) override;

private:
    Workspace& _applications;
};

}  // namespace quillet
