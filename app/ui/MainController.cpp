#include "app/ui/MainController.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QVBoxLayout>

#include "app/core/Core.h"
#include "app/core/StoreWatcher.h"
#include "app/core/SyncPass.h"
#include "app/ui/AddButtonView.h"
#include "app/ui/BigButtonView.h"
#include "app/ui/ExistingSignatureController.h"
#include "app/ui/Fonts.h"
#include "app/ui/IntroController.h"
#include "app/ui/LinkAlert.h"
#include "app/ui/MainControllerDelegate.h"
#include "app/ui/NotificationView.h"
#include "app/ui/SignatureButtonView.h"
#include "app/ui/SignatureColor.h"
#include "app/ui/UserNotifier.h"
#include "common/ClientKind.h"
#include "common/Localization.h"

namespace quillet {

namespace {
constexpr int kToolbarWidth = 224;
constexpr int kScrollBarWidth = 8;

// The first user-perceived character (a letter with its accents, an emoji with its modifiers).
QString FirstCharacter(const QString& text) {
    if (text.isEmpty())
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const qsizetype end = finder.toNextBoundary();
    return text.left(end > 0 ? end : 1);
}

const char* const kToolbarColor = "#1E2B30";

bool IsInstalledSomewhere(const Signature& signature) {
    for (const auto& [kind, info] : signature.clientKindToPerformedInstallationsInfoMap) {
        if (info.allAccountsInstalled || !info.accountEmailToPayloadMap.empty())
            return true;
    }
    return false;
}

// The name, and where it is meant to be installed: buttons of signatures with default names
// all show "S".
QString ButtonToolTip(const Signature& signature) {
    QStringList lines{signature.nameQe};
    for (const auto& [kind, info] : signature.clientKindToSelectedInstallationsInfoMap) {
        QStringList accounts;
        if (info.allAccountsSelected)
            accounts << Localized("All accounts");
        for (const auto& [email, payload] : info.accountEmailToPayloadMap)
            accounts << email;
        lines << DisplayName(kind) + ": " + accounts.join(", ");
    }
    if (signature.pendingDeletion)
        lines << Localized("Being removed from the email clients");
    return lines.join('\n');
}
}  // namespace

MainController::MainController(Core& core, MainControllerDelegate& delegate, UserNotifier& notifier,
                               NewSignaturePanelFactory newSignaturePanelFactory, QWidget* parent)
    : QWidget(parent),
      _core(core),
      _delegate(delegate),
      _notifier(notifier),
      _newSignaturePanelFactory(std::move(newSignaturePanelFactory)) {
    setObjectName("mainController");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeToolbar());
    _panelHost = new QWidget(this);
    _panelHost->setObjectName("panelHost");
    _panelHost->setAutoFillBackground(true);
    QPalette palette = _panelHost->palette();
    palette.setColor(QPalette::Window, QColor(0xF7F8FA));
    _panelHost->setPalette(palette);
    _panelLayout = new QVBoxLayout(_panelHost);
    _panelLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_panelHost, 1);
    _notificationView = new NotificationView(_panelHost);

    NotificationCenter& center = _core.platform().notificationCenter;
    _observers.push_back(center.addObserver(kSignaturesUpdatedFromServerNotification,
                                            [this](const QString&, const UserInfo&) {
                                                if (_engaged) {
                                                    reloadSignatureButtons(false);
                                                    updateGeometry();
                                                }
                                            }));
    // A pass removed an uninstalled signature from its clients and the store, or read the
    // signatures again; and the `quillet` command, the web-mail host or a managed configuration
    // changed the store.
    _observers.push_back(
        center.addObserver(kSyncPassFinishedNotification,
                           [this](const QString&, const UserInfo&) { signaturesReplaced(); }));
    _observers.push_back(
        center.addObserver(kSignaturesReloadedNotification,
                           [this](const QString&, const UserInfo&) { signaturesReplaced(); }));
    _observers.push_back(center.addObserver(
        kSignaturesUpdatedInClientsNotification, [this](const QString&, const UserInfo& info) {
            const auto problems = info.find(kSyncHadProblemsKey);
            signaturesUpdatedInClients(problems != info.end() &&
                                       std::any_cast<bool>(problems->second));
        }));
}

MainController::~MainController() {
    for (int token : _observers)
        _core.platform().notificationCenter.removeObserver(token);
}

QWidget* MainController::makeToolbar() {
    auto* toolbar = new QWidget(this);
    toolbar->setObjectName("toolbar");
    toolbar->setFixedWidth(kToolbarWidth);
    toolbar->setAttribute(Qt::WA_StyledBackground);
    toolbar->setStyleSheet(QString("QWidget#toolbar { background: %1; }").arg(kToolbarColor));
    auto* layout = new QVBoxLayout(toolbar);
    layout->setContentsMargins(16, 20, 16, 16);
    layout->setSpacing(8);

    _titleLabelView = new QLabel(_core.brand().fullName(), toolbar);
    _titleLabelView->setObjectName("titleLabel");
    _titleLabelView->setFont(TitleFont());
    _titleLabelView->setStyleSheet("color: white;");
    _titleLabelView->setWordWrap(true);
    layout->addWidget(_titleLabelView);
    layout->addSpacing(12);

    _signaturesScrollView = new QScrollArea(toolbar);
    _signaturesScrollView->setObjectName("signaturesScrollView");
    _signaturesScrollView->setFrameShape(QFrame::NoFrame);
    _signaturesScrollView->setWidgetResizable(true);
    _signaturesScrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A thin scroll bar in the toolbar's colours; the buttons keep a gutter of its width on both
    // sides, so they stay centred whether it shows or not.
    _signaturesScrollView->setStyleSheet(
        QString("QScrollArea, QScrollArea > QWidget > QWidget { background: %1; }"
                "QScrollBar:vertical { background: %1; width: %2px; margin: 0; }"
                "QScrollBar::handle:vertical { background: #4A5A60; border-radius: 3px;"
                " min-height: 24px; }"
                "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(kToolbarColor)
            .arg(kScrollBarWidth));
    _signaturesDocumentView = new QWidget;
    _signaturesLayout = new QVBoxLayout(_signaturesDocumentView);
    _signaturesLayout->setContentsMargins(kScrollBarWidth, 4, kScrollBarWidth, 4);
    _signaturesLayout->setSpacing(10);
    _signaturesLayout->addStretch();
    _signaturesScrollView->setWidget(_signaturesDocumentView);
    _signaturesScrollView->hide();
    // Grows up to the height of its buttons (its maximum, set as they change) and no further, so
    // the add button stays right under the last one; shorter, and scrolling, when the toolbar has
    // less room.
    layout->addWidget(_signaturesScrollView, 1);

    _addButtonView = new AddButtonView(toolbar);
    _addButtonView->setToolTip(Localized("New Signature"));
    connect(_addButtonView, &QPushButton::clicked, this, [this] { handleAdd(); });
    auto* quit = new QShortcut(QKeySequence::Quit, this);
    connect(quit, &QShortcut::activated, this, [this] { confirmQuit(); });
    // The keyboard's way to a new signature, as in other programs.
    auto* add = new QShortcut(QKeySequence::New, this);
    connect(add, &QShortcut::activated, this, [this] {
        if (_addButtonView->isEnabled())
            _addButtonView->click();
    });
    layout->addWidget(_addButtonView, 0, Qt::AlignHCenter);
    // Stretch 0: it only takes what the list (stretch 1) leaves once all its buttons show.
    layout->addStretch(0);

    const auto bigButton = [&](const char* name, const QString& image, const QString& title,
                               void (MainController::*action)()) {
        auto* button = new BigButtonView(image, Localized(title), toolbar);
        button->setObjectName(name);
        connect(button, &QPushButton::clicked, this, action);
        layout->addWidget(button);
        return button;
    };
    _updateButtonView = bigButton("updateButton", "update-button", "Check for Updates",
                                  &MainController::handleUpdate);
    _feedbackButtonView =
        bigButton("feedbackButton", "report-bug", "Feedback", &MainController::handleFeedback);
    _helpButtonView = bigButton("helpButton", "question-mark", "Help", &MainController::handleHelp);
    _quitButtonView = bigButton("quitButton", "quit-button", "Quit", &MainController::handleQuit);

    // Shown once the application hands in its restore menu.
    _restoreButton = new QPushButton(Localized("Restore…"), toolbar);
    _restoreButton->setObjectName("restoreButton");
    _restoreButton->setFont(BodyFont(11));
    _restoreButton->setCursor(Qt::PointingHandCursor);
    _restoreButton->setStyleSheet(
        "QPushButton { color: #8FA3AA; background: transparent; border: none; padding: 4px; }"
        "QPushButton:hover { color: white; }"
        "QPushButton::menu-indicator { image: none; width: 0; }");
    _restoreButton->hide();
    layout->addWidget(_restoreButton, 0, Qt::AlignHCenter);

    _versionLabelView = new QLabel("v" + _core.brand().shortVersion(), toolbar);
    _versionLabelView->setObjectName("versionLabel");
    _versionLabelView->setFont(BodyFont(10));
    _versionLabelView->setStyleSheet("color: #8FA3AA;");
    _versionLabelView->setAlignment(Qt::AlignHCenter);
    layout->addWidget(_versionLabelView);
    return toolbar;
}

void MainController::setRestoreMenu(QMenu* menu) {
    _restoreButton->setMenu(menu);
    _restoreButton->setVisible(menu != nullptr);
}

QWidget* MainController::signatureList() const {
    return _signaturesScrollView;
}

SignatureIds MainController::listed() const {
    // An uninstalled signature stays listed while a client still holds it (the person answered
    // "Later" to closing the client, or the pass failed), until a pass takes it out.
    SignatureIds ids;
    for (SignatureId id : _core.signatureIds()) {
        const SignaturePtr signature = _core.signature(id);
        if (signature && (!signature->pendingDeletion || IsInstalledSomewhere(*signature)))
            ids.push_back(id);
    }
    return ids;
}

void MainController::engage() {
    _engaged = true;
    resetSelection(false);
    reloadSignatureButtons(true);
    updateAddButton();
    attachPanel();
    updateGeometry();
}

void MainController::disengage() {
    _engaged = false;
    detachPanel();
}

void MainController::resetSelection(bool preferLast) {
    const int count = static_cast<int>(listed().size());
    if (preferLast && _lastSelectedSignatureIndexQ && *_lastSelectedSignatureIndexQ < count) {
        _state = State::existingSignature;
        _selectedSignatureIndexQ = _lastSelectedSignatureIndexQ;
    } else if (count > 0) {
        _state = State::existingSignature;
        _selectedSignatureIndexQ = 0;
        _lastSelectedSignatureIndexQ = 0;
    } else {
        _state = State::intro;
        _selectedSignatureIndexQ.reset();
        _lastSelectedSignatureIndexQ.reset();
    }
    _pendingNewSignatureQ.reset();
}

void MainController::reloadSignatureButtons(bool scrollToTop) {
    const SignatureIds ids = listed();
    const size_t n = ids.size() + (_pendingNewSignatureQ ? 1 : 0);
    if (n == 0) {
        _signaturesScrollView->hide();
        for (SignatureButtonView* button : _signatureButtonViews)
            delete button;
        _signatureButtonViews.clear();
        return;
    }
    _signaturesScrollView->show();
    while (_signatureButtonViews.size() > n) {
        delete _signatureButtonViews.back();
        _signatureButtonViews.pop_back();
    }
    while (_signatureButtonViews.size() < n) {
        auto* button = new SignatureButtonView(_signaturesDocumentView);
        button->setObjectName("signatureButton");
        connect(button, &QAbstractButton::clicked, this,
                [this, button] { selectSignature(button); });
        _signaturesLayout->insertWidget(static_cast<int>(_signatureButtonViews.size()), button, 0,
                                        Qt::AlignHCenter);
        _signatureButtonViews.push_back(button);
    }
    for (size_t i = 0; i < n; ++i)
        configureButton(static_cast<int>(i), ids);
    const QMargins margins = _signaturesLayout->contentsMargins();
    const int count = static_cast<int>(n);
    // (with the frame and a few pixels of slack: no scroll bar while all of them fit)
    _signaturesScrollView->setMaximumHeight(
        2 * _signaturesScrollView->frameWidth() + 4 + margins.top() + margins.bottom() +
        count * _signatureButtonViews.front()->sizeHint().height() +
        (count - 1) * _signaturesLayout->spacing());
    if (scrollToTop)
        _signaturesScrollView->verticalScrollBar()->setValue(0);
    else if (_selectedSignatureIndexQ && *_selectedSignatureIndexQ < count)
        _signaturesScrollView->ensureWidgetVisible(
            _signatureButtonViews[static_cast<size_t>(*_selectedSignatureIndexQ)]);
    updateGeometry();
}

void MainController::configureButton(int index, const SignatureIds& ids) {
    SignatureButtonView* button = _signatureButtonViews[static_cast<size_t>(index)];
    const bool pending = index >= static_cast<int>(ids.size());
    std::int64_t colorIndex = 0;
    if (pending) {
        button->setSymbol(_pendingNewSignatureQ ? _pendingNewSignatureQ->symbol : QString());
        colorIndex = _pendingNewSignatureQ ? _pendingNewSignatureQ->colorIndex : 0;
        button->setStatus(SignatureButtonView::Status::pending);
    } else {
        const SignaturePtr signature = _core.signature(ids[static_cast<size_t>(index)]);
        const QString name = signature ? signature->nameQe : QString();
        button->setSymbol(FirstCharacter(name));
        colorIndex = signature ? signature->colorIndex : 0;
        button->setStatus(!signature                   ? SignatureButtonView::Status::disabled
                          : signature->pendingDeletion ? SignatureButtonView::Status::removing
                          : signature->active          ? SignatureButtonView::Status::active
                                                       : SignatureButtonView::Status::disabled);
        button->setToolTip(signature ? ButtonToolTip(*signature) : QString());
    }
    button->setColor(SignatureColorAt(colorIndex));
    if (_state == State::newSignature) {
        button->setEnabled(false);
        button->setFullAlphaWhenDisabled(pending);
    } else if (_state == State::existingSignature) {
        button->setEnabled(true);
        button->setFullAlphaWhenDisabled(false);
    }
    button->setSelected(pending ||
                        (_selectedSignatureIndexQ && index == *_selectedSignatureIndexQ));
}

void MainController::updateAddButton() {
    _addButtonView->setEnabled(_state != State::newSignature);
    _addButtonView->setPulsating(_state == State::intro);
}

QWidget* MainController::panelForState() {
    switch (_state) {
        case State::intro:
            if (!_rIntroControllerQ) {
                _rIntroControllerQ = new IntroController(_panelHost);
                _rIntroControllerQ->hide();
            }
            return _rIntroControllerQ;
        case State::newSignature:
            if (!_rNewSignatureControllerQ) {
                _rNewSignatureControllerQ = _newSignaturePanelFactory(_core, _panelHost);
                _rNewSignatureControllerQ->hide();
                connect(_rNewSignatureControllerQ, &NewSignaturePanel::cancelled, this,
                        [this] { newSignatureCancelled(); });
                connect(_rNewSignatureControllerQ, &NewSignaturePanel::created, this,
                        [this](SignatureId id) { newSignatureCreated(id); });
            }
            return _rNewSignatureControllerQ;
        case State::existingSignature:
            if (!_rExistingSignatureControllerQ) {
                _rExistingSignatureControllerQ = new ExistingSignatureController(_core, _panelHost);
                _rExistingSignatureControllerQ->hide();
                connect(_rExistingSignatureControllerQ, &ExistingSignatureController::changed, this,
                        [this] { reloadSignatureButtons(false); });
                connect(_rExistingSignatureControllerQ, &ExistingSignatureController::uninstalled,
                        this, [this] { showPanelAfterChange(); });
            }
            return _rExistingSignatureControllerQ;
    }
    return nullptr;
}

void MainController::detachPanel() {
    QWidget* panel = panelForState();
    _panelLayout->removeWidget(panel);
    panel->hide();
    if (panel == _currentPanel)
        _currentPanel = nullptr;
    if (panel == _rIntroControllerQ)
        _rIntroControllerQ->disengage();
    else if (panel == _rNewSignatureControllerQ)
        _rNewSignatureControllerQ->disengage();
    else if (panel == _rExistingSignatureControllerQ)
        _rExistingSignatureControllerQ->disengage();
}

void MainController::attachPanel() {
    QWidget* panel = panelForState();
    if (_state == State::intro) {
        _rIntroControllerQ->engage();
    } else if (_state == State::newSignature) {
        _rNewSignatureControllerQ->engage(_pendingNewSignatureQ ? _pendingNewSignatureQ->colorIndex
                                                                : 0);
    } else {
        const SignatureIds ids = listed();
        const int index = _selectedSignatureIndexQ.value_or(0);
        if (index < 0 || index >= static_cast<int>(ids.size())) {
            // Nothing listed at that position any more: show what engaging would show.
            resetSelection(false);
            reloadSignatureButtons(false);
            updateAddButton();
            attachPanel();
            return;
        }
        _rExistingSignatureControllerQ->engage(ids[static_cast<size_t>(index)]);
    }
    _panelLayout->addWidget(panel);
    panel->show();
    _currentPanel = panel;
    _notificationView->raise();
}

void MainController::showPanelAfterChange() {
    detachPanel();
    resetSelection(true);
    reloadSignatureButtons(false);
    updateAddButton();
    attachPanel();
}

void MainController::signaturesReplaced() {
    if (!_engaged)
        return;
    if (_state == State::newSignature) {
        // The form and what is typed in it stay.
        reloadSignatureButtons(false);
        return;
    }
    // The signature on show stays on show wherever it moved, its panel refilled in place (a name
    // being typed stays); one that is gone gives way as after an uninstall.
    const SignatureIds ids = listed();
    const std::optional<SignatureId> shown =
        _state == State::existingSignature && _rExistingSignatureControllerQ
            ? _rExistingSignatureControllerQ->signatureId()
            : std::nullopt;
    const auto found = shown ? std::find(ids.begin(), ids.end(), *shown) : ids.end();
    if (found == ids.end()) {
        showPanelAfterChange();
        return;
    }
    _selectedSignatureIndexQ = static_cast<int>(found - ids.begin());
    _lastSelectedSignatureIndexQ = _selectedSignatureIndexQ;
    reloadSignatureButtons(false);
    _rExistingSignatureControllerQ->refill();
}

void MainController::handleAdd() {
    detachPanel();
    const int count = static_cast<int>(listed().size());
    _state = State::newSignature;
    _selectedSignatureIndexQ.reset();
    const QString defaultName = Localized("Signature Name ") + QString::number(count + 1);
    _pendingNewSignatureQ = PendingNewSignature{
        FirstCharacter(defaultName), (count + kSignatureColorCount - 1) % kSignatureColorCount};
    reloadSignatureButtons(false);
    _signaturesScrollView->ensureWidgetVisible(_signatureButtonViews.back());
    updateAddButton();
    attachPanel();
}

void MainController::selectSignature(SignatureButtonView* button) {
    const auto found =
        std::find(_signatureButtonViews.begin(), _signatureButtonViews.end(), button);
    if (found == _signatureButtonViews.end())
        return;
    const int index = static_cast<int>(found - _signatureButtonViews.begin());
    if (index >= static_cast<int>(listed().size()) || _selectedSignatureIndexQ == index)
        return;
    detachPanel();
    _selectedSignatureIndexQ = index;
    _lastSelectedSignatureIndexQ = index;
    const int listedCount = static_cast<int>(listed().size());
    for (size_t i = 0; i < _signatureButtonViews.size(); ++i) {
        const int position = static_cast<int>(i);
        _signatureButtonViews[i]->setSelected(position == index || position >= listedCount);
    }
    attachPanel();
}

void MainController::newSignatureCancelled() {
    showPanelAfterChange();
}

void MainController::newSignatureCreated(SignatureId id) {
    detachPanel();
    const SignatureIds ids = listed();
    const auto found = std::find(ids.begin(), ids.end(), id);
    _pendingNewSignatureQ.reset();
    if (found == ids.end()) {
        // Not listed (already gone): show what engaging would show.
        resetSelection(false);
    } else {
        _state = State::existingSignature;
        _selectedSignatureIndexQ = static_cast<int>(found - ids.begin());
        _lastSelectedSignatureIndexQ = _selectedSignatureIndexQ;
    }
    reloadSignatureButtons(false);
    updateAddButton();
    attachPanel();
}

void MainController::handleUpdate() {
    _delegate.checkForUpdates();
}

void MainController::handleFeedback() {
    openLink(_core.brand().feedbackURL());
}

void MainController::handleHelp() {
    openLink(_core.brand().helpURL());
}

void MainController::openLink(const QUrl& url) {
    if (!_core.platform().workspace.openUrl(url))
        QTimer::singleShot(0, this,
                           [this, url] { AlertLinkNotOpened(_core.platform().prompter, url); });
}

void MainController::handleQuit() {
    confirmQuit();
}

void MainController::confirmQuit() {
    // Modal alerts run on the next turn of the loop, not inside the click.
    QTimer::singleShot(0, this, [this] {
        Alert alert;
        alert.style = AlertStyle::warning;
        alert.title = FillPlaceholders(Localized("Are you sure you want to quit %@?"),
                                       {_core.brand().appName()});
        alert.informativeText =
            Localized("Signatures won’t be automatically updated while the app is not running.");
        alert.buttons = {Localized("Quit"), Localized("Cancel")};
        // Return leaves the application running.
        alert.defaultButtonIndex = 1;
        const Answer answer = _core.platform().prompter.ask(alert);
        if (answer.button == Localized("Quit"))
            _delegate.terminate();
    });
}

void MainController::signaturesUpdatedInClients(bool hadProblems) {
    // After a pass with problems the person sees the problems alert, not a success.
    if (!_engaged || hadProblems)
        return;
    _notificationView->show(NotificationView::Style::success,
                            Localized("Signatures were updated successfully"));
    resizeEvent(nullptr);
    _notifier.deliver(Localized("Signatures Updated"),
                      Localized("Your email signatures have been updated."));
}

void MainController::resizeEvent(QResizeEvent* event) {
    if (event)
        QWidget::resizeEvent(event);
    const int width = std::min(_panelHost->width() - 48, 560);
    const int height = _notificationView->sizeHint().height();
    // At the foot of the panel, where no panel puts its controls.
    _notificationView->setGeometry((_panelHost->width() - width) / 2,
                                   _panelHost->height() - height - 24, width, height);
}

}  // namespace quillet
