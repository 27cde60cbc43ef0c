#pragma once
// The application around the engine: start at login, the status item (a click shows the main
// window; its menu opens the window or restores a restore point), the main controller and its
// window, refreshes when the application becomes active or the machine wakes, updates and the end
// of the process.

#include <QMenu>
#include <QObject>
#include <QSettings>
#include <QSystemTrayIcon>
#include <memory>

#include "app/ui/MainControllerDelegate.h"
#include "app/ui/NewSignaturePanel.h"
#include "app/ui/UserNotifier.h"

namespace quillet {

class Core;
class LoginItem;
class MainController;
class MainWindow;
class RestoreMenu;
class StoreWatcher;
class Updater;
class WakeMonitor;

// What the application is made of besides the engine; tests hand in their own.
struct AppParts {
    Core& core;
    LoginItem& loginItem;
    Updater& updater;
    QSettings& preferences;
    // The user notifications; absent: the status item's message.
    UserNotifier* notifier = nullptr;
    NewSignaturePanelFactory newSignaturePanelFactory;
};

class AppDelegate : public QObject, public MainControllerDelegate, public UserNotifier {
    Q_OBJECT
public:
    explicit AppDelegate(AppParts parts);
    ~AppDelegate() override;

    // Launch set-up before the event loop runs: login item, status item, main controller (engaged)
    // and the hidden main window. Without a tray the window is shown, so the person can reach it.
    void willFinishLaunching();
    // Starts the engine: account discovery and the first refresh.
    void didFinishLaunching();

    // The application was opened again (a second launch): shows the main window.
    void reopen();
    void showMainWindow();
    bool isMainWindowVisibleAndKey() const;

    MainController* mainController() const { return _mainController.get(); }
    MainWindow* mainWindow() const { return _mainWindow.get(); }
    QSystemTrayIcon* statusItem() const { return _statusItem.get(); }
    // The status item's menu: open the main window, "Restore…".
    QMenu* statusMenu() const { return _statusMenu.get(); }
    RestoreMenu* restoreMenu() const { return _restoreMenu; }

    void checkForUpdates() override;
    void terminate() override;
    void deliver(const QString& title, const QString& informativeText) override;

private:
    void statusItemActivated(QSystemTrayIcon::ActivationReason reason);
    void willTerminate();

    AppParts _parts;
    std::unique_ptr<QMenu> _statusMenu;   // before the status item, which shows it
    RestoreMenu* _restoreMenu = nullptr;  // owned by the status menu
    std::unique_ptr<QSystemTrayIcon> _statusItem;
    std::unique_ptr<MainController> _mainController;
    std::unique_ptr<MainWindow> _mainWindow;
    std::unique_ptr<WakeMonitor> _wakeMonitor;
    std::unique_ptr<StoreWatcher> _storeWatcher;
    QMetaObject::Connection _stateConnection;
};

}  // namespace quillet
