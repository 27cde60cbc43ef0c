#pragma once
// The window that walks the person through the permissions that validate found missing: one
// row per permission with what it is for, the steps, a button that asks macOS or opens the right
// pane of System Settings, and the application's icon to drag into the pane's list. It watches
// the permissions once a second and turns each row to done on its own.
//
// The poll lives as long as the session: finish() (or closing) stops it, and an automation check
// that answers afterwards (it can wait minutes on the system's prompt) is dropped. A row never
// has two checks running at once.

#include <QDialog>
#include <QPointer>
#include <memory>
#include <vector>

#include "app/permissions/AccessibilityHelper.h"

class QLabel;
class QPushButton;

namespace quillet {

class MainQueue;
class Workspace;

class PermissionsAssistant : public QDialog {
public:
    static constexpr int kWidth = 600;
    static constexpr int kSideInset = 32;
    static constexpr unsigned kGreen = 0x4D6966;
    static constexpr unsigned kGold = 0xD2B46E;
    static constexpr unsigned kCharcoal = 0x1F2A28;
    static constexpr unsigned kMuted = 0x6B7975;
    static constexpr unsigned kLine = 0xE7E2D6;
    static constexpr double kPollInterval = 1.0;

    // The context lives at least as long as the session (validate's, handed to the presenter).
    // appPath is what the icon drags: the application's bundle (its program on Linux).
    PermissionsAssistant(const PermissionContext& context,
                         const std::vector<AccessibilityRequirementType>& missing,
                         Workspace& workspace, MainQueue& mainQueue, QString appPath,
                         QWidget* parent = nullptr);
    ~PermissionsAssistant() override;

    // Brings the statuses up to date and starts the poll; finish stops it and brings back the
    // windows hidden while System Settings was in front.
    void start();
    void finish();
    // start, the modal session, finish.
    void runModal();

    // The address tried first and the one tried when it cannot be opened, for an anchor.
    static QString PrimarySettingsAddress(const QString& anchor);
    static QString FallbackSettingsAddress(const QString& anchor);

private:
    struct Row;

    void buildPanel(const std::vector<AccessibilityRequirementType>& missing);
    QWidget* buildRow(Row& row);
    void poll();
    void schedulePoll();
    void checkAutomation(Row& row);
    void rowAction(Row& row);
    void openSettings(const QString& anchor);
    void updateStatuses();
    void restoreHiddenWindows();

    PermissionContext _context;
    Workspace& _workspace;
    MainQueue& _mainQueue;
    QString _appPath;
    std::vector<std::unique_ptr<Row>> _rows;
    QPushButton* _doneButton = nullptr;
    int _ticks = 0;
    std::shared_ptr<bool> _session;  // present while the session runs; the poll holds it weakly
    std::vector<QPointer<QWidget>> _hiddenWindows;
};

}  // namespace quillet
