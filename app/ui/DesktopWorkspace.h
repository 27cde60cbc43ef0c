#pragma once
// The workspace of the application on a desktop: the system's view of running applications
// (handed in), with URLs opened by the desktop's default handler (browser, mail program).

#include <QObject>
#include <functional>

#include "platform/Workspace.h"

namespace quillet {

class DesktopWorkspace : public Workspace {
public:
    // notOpened: told when the desktop's handler started but could not open a URL after all.
    explicit DesktopWorkspace(Workspace& applications,
                              std::function<void(const QUrl&)> notOpened = {})
        : _applications(applications), _notOpened(std::move(notOpened)) {}

    QStringList runningBundleIdentifiers() const override {
        return _applications.runningBundleIdentifiers();
    }
    bool forceTerminate(const QString& bundleIdentifier) override {
        return _applications.forceTerminate(bundleIdentifier);
    }
    double exitWaitLimit() const override { return _applications.exitWaitLimit(); }
    bool launch(const QString& bundlePath) override { return _applications.launch(bundlePath); }
    // False when no handler could be started; a handler that fails later is reported to
    // notOpened.
    bool openUrl(const QUrl& url) override;

private:
    Workspace& _applications;
    std::function<void(const QUrl&)> _notOpened;
    QObject _openers;  // the handlers still running; ended with the workspace
};

}  // namespace quillet
