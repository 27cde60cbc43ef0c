#include "app/ui/PermissionsAssistant.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThreadPool>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui/PermissionsAssistantIcon.h"
#include "common/Localization.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

namespace quillet {

using Requirement = AccessibilityRequirementType;

struct PermissionsAssistant::Row {
    Requirement type;
    bool granted = false;
    bool automationCheckInFlight = false;
    QLabel* statusLabel = nullptr;
    QPushButton* actionButton = nullptr;
    DraggableAppIconView* iconViewQ = nullptr;
    QWidget* iconColumnQ = nullptr;  // the icon with its caption
};

namespace {

// A window the person sees and arranges (the main window, a dialog): not a menu or a tooltip, and
// not the tray icon's own window, which sits outside the window manager's care. Hiding that one
// would take the application's only way back off the screen.
bool IsArrangedByThePerson(const QWidget* window) {
    const Qt::WindowType type = window->windowType();
    return window->isWindow() && (type == Qt::Window || type == Qt::Dialog) &&
           !window->windowFlags().testFlag(Qt::BypassWindowManagerHint);
}

bool IsAutomation(Requirement r) {
    return r == Requirement::automationAppleMail || r == Requirement::automationOutlook ||
           r == Requirement::automationSystemEvents;
}

QString ButtonTitle(Requirement r) {
    return Localized(r == Requirement::fullDiskAccess ? "Open Settings" : "Allow");
}

// The list of System Settings the icon goes into; empty for the automation rows.
QString SettingsList(Requirement r) {
    switch (r) {
        case Requirement::fullDiskAccess:
            return Localized("Full Disk Access");
        case Requirement::accessibility:
            return Localized("Device Control and Data Access");
        default:
            return {};
    }
}

QString Anchor(Requirement r) {
    switch (r) {
        case Requirement::fullDiskAccess:
            return "Privacy_AllFiles";
        case Requirement::accessibility:
            return "Privacy_Accessibility";
        default:
            return "Privacy_Automation";
    }
}

QString Css(unsigned rgb) {
    return QString("#%1").arg(rgb, 6, 16, QLatin1Char('0'));
}

QLabel* Text(const QString& text, unsigned colour, int pointSize, bool bold, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setStyleSheet(QString("color: %1; font-size: %2pt; font-weight: %3;")
                             .arg(Css(colour))
                             .arg(pointSize)
                             .arg(bold ? 600 : 400));
    return label;
}

// A wrapped text of a fixed width, as tall as its lines: layouts do not ask a label's height for
// its width, and would clip the second line.
QLabel* WrappedText(const QString& text, unsigned colour, int pointSize, int width,
                    QWidget* parent) {
    QLabel* label = Text(text, colour, pointSize, false, parent);
    label->ensurePolished();
    label->setFixedWidth(width);
    label->setMinimumHeight(label->heightForWidth(width));
    return label;
}

constexpr int kIconColumnWidth = 120;
constexpr int kColumnSpacing = 16;

}  // namespace

PermissionsAssistant::PermissionsAssistant(const PermissionContext& context,
                                           const std::vector<Requirement>& missing,
                                           Workspace& workspace, MainQueue& mainQueue,
                                           QString appPath, QWidget* parent)
    : QDialog(parent),
      _context(context),
      _workspace(workspace),
      _mainQueue(mainQueue),
      _appPath(std::move(appPath)) {
    setObjectName("permissionsAssistant");
    for (Requirement r : missing) {
        auto row = std::make_unique<Row>();
        row->type = r;
        if (r == Requirement::fullDiskAccess)
            row->granted = AccessibilityHelper::hasFullDiskAccess(_context);
        else if (r == Requirement::accessibility)
            row->granted = _context.accessibility.isProcessTrusted();
        _rows.push_back(std::move(row));
    }
    buildPanel(missing);
    // Closing the panel ends the session as the done button does.
    connect(this, &QDialog::finished, this, [this] { finish(); });
}

PermissionsAssistant::~PermissionsAssistant() {
    _session.reset();
}

QString PermissionsAssistant::PrimarySettingsAddress(const QString& anchor) {
    return "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?" + anchor;
}

QString PermissionsAssistant::FallbackSettingsAddress(const QString& anchor) {
    return "x-apple.systempreferences:com.apple.preference.security?" + anchor;
}

void PermissionsAssistant::buildPanel(const std::vector<Requirement>& missing) {
    setWindowTitle(FillPlaceholders(Localized("%@ needs your permission"), {_context.appName}));
    setFixedWidth(kWidth);
    setStyleSheet("QDialog#permissionsAssistant { background: white; }");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSideInset, 20, kSideInset, 20);
    layout->setSpacing(10);
    layout->addWidget(
        Text(FillPlaceholders(Localized("%@ needs your permission"), {_context.appName}), kCharcoal,
             16, true, this));
    layout->addWidget(WrappedText(Localized("macOS only lets you switch these on yourself. Follow "
                                            "each step below; the status changes to Done on its "
                                            "own."),
                                  kMuted, 11, kWidth - 2 * kSideInset, this));
    for (std::size_t i = 0; i < missing.size(); ++i) {
        auto* line = new QFrame(this);
        line->setFixedHeight(1);
        line->setStyleSheet(QString("background: %1;").arg(Css(kLine)));
        layout->addWidget(line);
        layout->addWidget(buildRow(*_rows[i]));
    }
    _doneButton = new QPushButton(this);
    _doneButton->setObjectName("done");
    _doneButton->setDefault(true);
    connect(_doneButton, &QPushButton::clicked, this, [this] { accept(); });
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(_doneButton);
    layout->addLayout(bottom);
    updateStatuses();
}

QWidget* PermissionsAssistant::buildRow(Row& row) {
    const QString raw = RawValue(row.type);
    auto* widget = new QWidget(this);
    widget->setObjectName("row-" + raw);
    auto* rowLayout = new QVBoxLayout(widget);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(2);
    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(kColumnSpacing);
    const QString list = SettingsList(row.type);
    const int textWidth =
        kWidth - 2 * kSideInset - (list.isEmpty() ? 0 : kIconColumnWidth + kColumnSpacing);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);

    // The title and the status span the whole row, so every status stands at the right edge.
    auto* heading = new QHBoxLayout;
    heading->addWidget(Text(RequirementTitle(row.type), kCharcoal, 12, true, widget), 1);
    row.statusLabel = Text({}, kGold, 11, true, widget);
    row.statusLabel->setObjectName("status-" + raw);
    row.statusLabel->setWordWrap(false);
    heading->addWidget(row.statusLabel);
    rowLayout->addLayout(heading);
    rowLayout->addLayout(columns);
    texts->addWidget(WrappedText(RequirementDescription(row.type, _context.appName), kMuted, 10,
                                 textWidth, widget));

    QStringList steps{Localized("Click ") + ButtonTitle(row.type)};
    if (!list.isEmpty()) {
        steps.append(
            Localized("Then: ") +
            FillPlaceholders(Localized("Drag the app icon on the right into the %@ list"), {list}) +
            Localized(", make sure it is switched on in the list."));
    }
    if (row.type == Requirement::fullDiskAccess)
        steps.append(Localized("When macOS offers to quit and reopen the app, ") +
                     Localized("choose Quit & Reopen"));
    for (int i = 0; i < steps.size(); ++i)
        texts->addWidget(WrappedText(QString("%1. %2").arg(i + 1).arg(steps[i]), kCharcoal, 10,
                                     textWidth, widget));

    row.actionButton = new QPushButton(ButtonTitle(row.type), widget);
    row.actionButton->setObjectName("action-" + raw);
    connect(row.actionButton, &QPushButton::clicked, this, [this, &row] { rowAction(row); });
    auto* buttonLine = new QHBoxLayout;
    buttonLine->addWidget(row.actionButton);
    buttonLine->addStretch();
    texts->addLayout(buttonLine);
    columns->addLayout(texts, 1);

    if (!list.isEmpty()) {
        // The icon and its caption go together when the row is done.
        row.iconColumnQ = new QWidget(widget);
        auto* iconColumn = new QVBoxLayout(row.iconColumnQ);
        iconColumn->setContentsMargins(0, 0, 0, 0);
        row.iconViewQ = new DraggableAppIconView(_appPath, row.iconColumnQ);
        row.iconViewQ->setObjectName("icon-" + raw);
        iconColumn->addWidget(row.iconViewQ, 0, Qt::AlignHCenter);
        auto* caption = WrappedText(Localized("Drag this icon into the list in System Settings"),
                                    kMuted, 9, kIconColumnWidth, row.iconColumnQ);
        caption->setAlignment(Qt::AlignHCenter);
        iconColumn->addWidget(caption);
        iconColumn->addStretch();
        columns->addWidget(row.iconColumnQ, 0, Qt::AlignTop);
    }
    return widget;
}

void PermissionsAssistant::start() {
    _session = std::make_shared<bool>(true);
    _ticks = 0;
    updateStatuses();
    schedulePoll();
}

void PermissionsAssistant::finish() {
    if (!_session)
        return;
    _session.reset();
    restoreHiddenWindows();
}

void PermissionsAssistant::runModal() {
    start();
    adjustSize();
    // In front of the other applications' windows: the person came here to act on it.
    raise();
    activateWindow();
    exec();
    finish();
    hide();
}

void PermissionsAssistant::schedulePoll() {
    _mainQueue.postAfter(kPollInterval, [this, session = std::weak_ptr<bool>(_session)] {
        if (session.expired())
            return;
        poll();
        schedulePoll();
    });
}

void PermissionsAssistant::poll() {
    ++_ticks;
    for (auto& row : _rows) {
        if (IsAutomation(row->type)) {
            if (_ticks % 3 == 0)
                checkAutomation(*row);
        } else if (row->type == Requirement::fullDiskAccess) {
            row->granted = AccessibilityHelper::hasFullDiskAccess(_context);
        } else {
            row->granted = _context.accessibility.isProcessTrusted();
        }
    }
    updateStatuses();
}

void PermissionsAssistant::checkAutomation(Row& row) {
    if (row.automationCheckInFlight || !_session)
        return;
    row.automationCheckInFlight = true;
    // The check runs a script that may wait for the person's answer to the system's prompt, so
    // it takes only what outlives the session: the runner (over the process's paths and bundle)
    // and the platform's parts, never the engine's lists.
    QThreadPool::globalInstance()->start(
        [runner = _context.runner, &accessibility = _context.accessibility,
         &prompter = _context.prompter, type = row.type, &mainQueue = _mainQueue, this, &row,
         session = std::weak_ptr<bool>(_session)] {
            const std::vector<ClientKind> noClients;
            const PermissionContext context{noClients, std::nullopt, runner, accessibility,
                                            prompter};
            const bool granted = AccessibilityHelper::checkAutomation(context, type);
            mainQueue.post([this, &row, granted, session] {
                if (session.expired())
                    return;
                row.granted = granted;
                row.automationCheckInFlight = false;
                updateStatuses();
            });
        },
        QThread::HighPriority);
}

void PermissionsAssistant::rowAction(Row& row) {
    if (IsAutomation(row.type)) {
        if (row.actionButton->text() == ButtonTitle(row.type)) {
            // The first click only asks: the check makes macOS show its Automation prompt.
            row.actionButton->setText(Localized("Open Settings"));
            checkAutomation(row);
        } else {
            openSettings(Anchor(row.type));
        }
        return;
    }
    if (row.type == Requirement::accessibility)
        _context.accessibility.askToTrust();
    openSettings(Anchor(row.type));
}

void PermissionsAssistant::openSettings(const QString& anchor) {
    // System Settings and this panel are what the person should see.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isVisible() || !IsArrangedByThePerson(window))
            continue;
        window->hide();
        _hiddenWindows.emplace_back(window);
    }
    const QUrl primary(PrimarySettingsAddress(anchor), QUrl::StrictMode);
    if (primary.isValid() && _workspace.openUrl(primary))
        return;
    _workspace.openUrl(QUrl(FallbackSettingsAddress(anchor)));
}

void PermissionsAssistant::restoreHiddenWindows() {
    for (const QPointer<QWidget>& window : _hiddenWindows) {
        if (window)
            window->show();
    }
    _hiddenWindows.clear();
}

void PermissionsAssistant::updateStatuses() {
    bool allGranted = true;
    bool shapeChanged = false;
    for (const auto& row : _rows) {
        shapeChanged = shapeChanged || row->actionButton->isVisibleTo(this) == row->granted;
        row->statusLabel->setText(row->granted ? Localized("✓ Done") : Localized("Needed"));
        row->statusLabel->setStyleSheet(QString("color: %1; font-size: 11pt; font-weight: 600;")
                                            .arg(Css(row->granted ? kGreen : kGold)));
        row->actionButton->setVisible(!row->granted);
        if (row->iconColumnQ)
            row->iconColumnQ->setVisible(!row->granted);
        allGranted = allGranted && row->granted;
    }
    _doneButton->setText(allGranted ? Localized("All set, continue") : Localized("Later"));
    // A done row is shorter: the panel follows.
    if (shapeChanged && isVisible()) {
        // The hidden buttons and icons give their room back before the panel takes its size.
        layout()->activate();
        adjustSize();
    }
}

}  // namespace quillet
