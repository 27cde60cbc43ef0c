#include "app/ui/AppDelegate.h"

#include <QApplication>

#include "app/core/Core.h"
#include "app/core/StoreWatcher.h"
#include "app/ui/Images.h"
#include "app/ui/LoginItem.h"
#include "app/ui/MainController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/RestoreMenu.h"
#include "app/ui/Updater.h"
#include "app/ui/WakeMonitor.h"
#include "common/Localization.h"

namespace quillet {

AppDelegate::AppDelegate(AppParts parts)
    : _parts(std::move(parts)),
      _wakeMonitor(
          std::make_unique<WakeMonitor>([this] { _parts.core.refreshFromServerIfPossible(); })) {}

AppDelegate::~AppDelegate() {
    QObject::disconnect(_stateConnection);
    // The window holds the controller's view: it goes first.
    if (_mainWindow && _mainController)
        _mainController->setParent(nullptr);
}

void AppDelegate::willFinishLaunching() {
    _parts.loginItem.enable();

    const Bundle& bundle = _parts.core.platform().bundle;
    _statusItem = std::make_unique<QSystemTrayIcon>(ImageIcon("status-bar-icon"));
    const QString displayName =
        bundle.infoString("CFBundleDisplayName").value_or(_parts.core.brand().appName());
    _statusItem->setToolTip(displayName + " " + _parts.core.brand().shortVersion());
    connect(_statusItem.get(), &QSystemTrayIcon::activated, this,
            &AppDelegate::statusItemActivated);
    UserNotifier& notifier = _parts.notifier ? *_parts.notifier : *this;

    _mainController = std::make_unique<MainController>(_parts.core, *this, notifier,
                                                       _parts.newSignaturePanelFactory);
    _mainController->engage();

    // Some desktops show the menu instead of reporting a click: it opens the window too.
    _statusMenu = std::make_unique<QMenu>();
    _statusMenu->addAction(FillPlaceholders(Localized("Open %@"), {_parts.core.brand().appName()}),
                           this, &AppDelegate::showMainWindow);
    _statusMenu->addSeparator();
    _restoreMenu = new RestoreMenu(_parts.core, notifier, _statusMenu.get());
    _statusMenu->addMenu(_restoreMenu);
    connect(_restoreMenu, &RestoreMenu::finished, this, [this] {
        // The store was put back: the signatures listed may be others now.
        if (_mainController)
            _mainController->signaturesReplaced();
    });
    _mainController->setRestoreMenu(_restoreMenu);
    _statusMenu->addSeparator();
    _statusMenu->addAction(FillPlaceholders(Localized("Quit %@"), {_parts.core.brand().appName()}),
                           this, [this] { _mainController->confirmQuit(); });
    _statusItem->setContextMenu(_statusMenu.get());
    _mainWindow = std::make_unique<MainWindow>(_parts.preferences, _mainController.get());

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        _statusItem->show();
    } else {
        LogWarning("AppDelegate: no system tray on this desktop; showing the main window");
        showMainWindow();
    }

    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        _stateConnection = connect(application, &QGuiApplication::applicationStateChanged, this,
                                   [this](Qt::ApplicationState state) {
                                       if (state == Qt::ApplicationActive)
                                           _parts.core.refreshFromServerIfPossible();
                                   });
    }
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &AppDelegate::willTerminate);
}

void AppDelegate::didFinishLaunching() {
    _parts.core.start();
    // What the command, the web-mail host or a managed configuration write meanwhile shows.
    _storeWatcher = std::make_unique<StoreWatcher>(_parts.core);
}

void AppDelegate::reopen() {
    showMainWindow();
}

void AppDelegate::showMainWindow() {
    if (_mainWindow)
        _mainWindow->showWindow();
}

bool AppDelegate::isMainWindowVisibleAndKey() const {
    return _mainWindow && _mainWindow->isVisibleAndKey();
}

void AppDelegate::statusItemActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        showMainWindow();
}

void AppDelegate::checkForUpdates() {
    _parts.updater.checkForUpdates();
}

void AppDelegate::terminate() {
    // Not quit(): Qt 6 first asks every visible window to close, and the main window refuses (it
    // only hides), so the process would stay in its event loop whenever the window or the tray
    // icon's own window is up.
    QCoreApplication::exit(0);
}

void AppDelegate::willTerminate() {
    if (_mainController)
        _mainController->disengage();
}

void AppDelegate::deliver(const QString& title, const QString& informativeText) {
    if (_statusItem && _statusItem->isVisible())
        _statusItem->showMessage(title, informativeText, QSystemTrayIcon::Information);
}

}  // namespace quillet
