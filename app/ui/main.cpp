// The Quillet application: the engine over this machine, in the tray, with its main window.
#include <QApplication>
#include <QSettings>
#include <cstdio>

#include "app/clients/LinuxDetection.h"
#include "app/core/Core.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/DesktopWorkspace.h"
#include "app/ui/DialogPrompter.h"
#include "app/ui/Fonts.h"
#include "app/ui/LinkAlert.h"
#include "app/ui/LoginItem.h"
#include "app/ui/MainWindow.h"
#include "app/ui/NewSignatureController.h"
#include "app/ui/PermissionsAssistantPresenter.h"
#include "app/ui/SingleInstance.h"
#include "app/ui/Updater.h"
#include "common/Localization.h"
#include "platform/Accessibility.h"
#include "platform/Bundle.h"
#include "platform/FileWorkspace.h"
#include "platform/LinuxWorkspace.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/QtMainQueue.h"
#include "platform/SystemLayout.h"

using namespace quillet;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    application.setDesktopFileName("quillet");

    const Paths paths = Paths::fromEnvironment();
    // Decided before anything else starts: a second engine would run passes beside the first.
    SingleInstance instance(paths, qEnvironmentVariable("XDG_RUNTIME_DIR"));
    switch (instance.claim()) {
        case SingleInstance::Claim::reopened:
            return 0;
        case SingleInstance::Claim::alreadyRunning:
            std::fprintf(stderr, "Quillet: already running, but it did not answer\n");
            return 0;
        case SingleInstance::Claim::primary:
            break;
    }
    AppDelegate* delegate = nullptr;
    // Later launches reach this one from now on; their requests wait for the event loop.
    instance.listen([&delegate] {
        if (delegate)
            delegate->reopen();
    });

    const QString bundlePath = Bundle::locate();
    auto bundle = Bundle::open(bundlePath);
    if (!bundle) {
        std::fprintf(stderr, "Quillet: cannot read the application's resources at %s\n",
                     bundlePath.toUtf8().constData());
        return 1;
    }
    InstallLocalizationBundle(&*bundle);
    LoadBundledFonts();

    const SystemLayoutChoice layout = ChooseSystemLayout({}, {});
    if (!layout.layout) {
        std::fprintf(stderr, "Quillet: %s\n", layout.error.toUtf8().constData());
        return 1;
    }
    QtMainQueue mainQueue;
    NotificationCenter notificationCenter;
    DialogPrompter prompter;
    std::unique_ptr<Workspace> applications;
    if (*layout.layout == SystemLayout::linuxDesktop)
        applications = std::make_unique<LinuxWorkspace>(paths, LinuxClientApplications());
    else
        applications = std::make_unique<FileWorkspace>(paths);
    DesktopWorkspace workspace(*applications,
                               [&prompter](const QUrl& url) { AlertLinkNotOpened(prompter, url); });
    FileAccessibility accessibility(paths);
    const Platform platform{paths,     mainQueue, notificationCenter, prompter,
                            workspace, *bundle,   accessibility,      *layout.layout};

    // Declared before the engine, so that it outlives every validate the engine runs.
    PermissionsAssistantPresenter permissionsPresenter(workspace, mainQueue,
                                                       QCoreApplication::applicationFilePath());
    Core::Options options;
    options.mainWindowIsVisibleAndKey = [&delegate] {
        return delegate && delegate->isMainWindowVisibleAndKey();
    };
    auto created = Core::create(platform, std::move(options));
    if (!created) {
        std::fprintf(stderr, "Quillet: %s\n", created.error().toUtf8().constData());
        return 1;
    }
    std::unique_ptr<Core> core = std::move(*created);
    core->setPermissionsPresenter(&permissionsPresenter);

    if (*layout.layout == SystemLayout::linuxDesktop)
        StopCommandKeepingSignaturesCurrent();
    XdgAutostartLoginItem loginItem(paths.home(), "quillet", core->brand().appName(),
                                    QCoreApplication::applicationFilePath());
    ReleasePageUpdater updater(workspace, prompter,
                               QUrl(bundle->infoString("QuilletReleasesURL").value_or(QString())));
    QSettings preferences(paths.userLibrary() + "/Preferences/" +
                              bundle->infoString("CFBundleIdentifier").value_or("Quillet") + ".ini",
                          QSettings::IniFormat);
    AppDelegate appDelegate(AppParts{*core, loginItem, updater, preferences, nullptr,
                                     NewSignatureController::Factory()});
    delegate = &appDelegate;
    prompter.setWindow([&appDelegate]() -> QWidget* {
        appDelegate.showMainWindow();
        return appDelegate.mainWindow();
    });
    appDelegate.willFinishLaunching();
    appDelegate.didFinishLaunching();
    const int status = application.exec();
    delegate = nullptr;
    return status;
}
