#include "app/ui/ExistingSignatureController.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include "app/clients/Detection.h"
#include "app/core/Core.h"
#include "app/managed/ManagedSignatures.h"
#include "app/ui/Controls.h"
#include "app/ui/Fonts.h"
#include "app/ui/Images.h"
#include "app/ui/PreviewSignatureController.h"
#include "app/ui/SignatureButtonView.h"
#include "app/ui/SignatureColor.h"
#include "common/Localization.h"
#include "common/Text.h"
#include "platform/AtomicFile.h"

namespace quillet {

namespace {

// A switch that shows an option and takes no input: clicks and keys leave it as it is.
class OptionSwitch : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void mousePressEvent(QMouseEvent* event) override { event->ignore(); }
    void mouseReleaseEvent(QMouseEvent* event) override { event->ignore(); }
    void keyPressEvent(QKeyEvent* event) override { event->ignore(); }
};

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(BodyFont(11));
    label->setStyleSheet("color: #6B7C83;");
    return label;
}

QLabel* Value(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(BodyFont(13));
    label->setStyleSheet("color: #1E2B30;");
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

// The client and account of the signature's first selected installation; none for a signature
// without any (an earlier store's records can have none).
struct Installation {
    ClientKind client;
    QString accountEmail;  // empty: all accounts
};

std::optional<Installation> FirstInstallation(const Signature& signature) {
    const auto& map = signature.clientKindToSelectedInstallationsInfoMap;
    if (map.empty())
        return std::nullopt;
    const auto& [kind, info] = *map.begin();
    QString email;
    if (!info.allAccountsSelected && !info.accountEmailToPayloadMap.empty())
        email = info.accountEmailToPayloadMap.begin()->first;
    return Installation{kind, email};
}

// Where the signature is installed, one client a line: "Thunderbird: jane@x.org, joe@x.org".
QString InstalledText(const Signature& signature) {
    QStringList lines;
    for (const auto& [kind, info] : signature.clientKindToPerformedInstallationsInfoMap) {
        QStringList accounts;
        if (info.allAccountsInstalled)
            accounts << Localized("All accounts");
        for (const auto& [email, payload] : info.accountEmailToPayloadMap)
            accounts << email;
        if (!accounts.isEmpty())
            lines << DisplayName(kind) + ": " + accounts.join(", ");
    }
    return lines.isEmpty() ? QString("-") : lines.join('\n');
}

// The clients where a postponed, failed or interrupted pass left something to write; the next
// refresh writes them.
QString PendingText(const Signature& signature, const PendingScope& scope) {
    QStringList clients;
    for (ClientKind kind : PendingClients(signature, scope))
        clients << DisplayName(kind);
    return clients.isEmpty() ? QString("-") : clients.join(", ");
}

bool ListsSignature(const UserInfo& info, const QString& key, SignatureId id) {
    const auto found = info.find(key);
    if (found == info.end())
        return false;
    const auto* ids = std::any_cast<SignatureIds>(&found->second);
    return ids && std::find(ids->begin(), ids->end(), id) != ids->end();
}

}  // namespace

ExistingSignatureController::ExistingSignatureController(Core& core, QWidget* parent)
    : QWidget(parent), _core(core) {
    setObjectName("existingSignaturePanel");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 40, 48, 32);
    layout->setSpacing(16);

    // Name row: colour, name, edit button, status.
    auto* nameRow = new QHBoxLayout;
    _colorDot = new QLabel(this);
    _colorDot->setFixedSize(28, 28);
    _nameField = new QLineEdit(this);
    _nameField->setObjectName("nameField");
    _nameField->setFont(BodyFont(20, QFont::DemiBold));
    _nameField->setReadOnly(true);
    _nameField->setFrame(false);
    _nameField->setStyleSheet(
        "QLineEdit { background: transparent; color: #1E2B30; }"
        "QLineEdit:!read-only { background: white; border: 1px solid #9EB0EB;"
        " border-radius: 6px; padding: 2px 6px; }");
    _editButton = new QPushButton(this);
    _editButton->setObjectName("editButton");
    _editButton->setIcon(ImageIcon("pencil"));
    _editButton->setFlat(true);
    _editButton->setCursor(Qt::PointingHandCursor);
    _editButton->setToolTip(Localized("Edit"));
    _statusLabel = new QLabel(this);
    _statusLabel->setObjectName("statusLabel");
    _statusLabel->setFont(BodyFont(11, QFont::DemiBold));
    nameRow->addWidget(_colorDot);
    nameRow->addWidget(_nameField, 1);
    nameRow->addWidget(_editButton);
    nameRow->addSpacing(12);
    _managedLabel = new QLabel(Localized("Managed by your organisation"), this);
    _managedLabel->setObjectName("managedLabel");
    _managedLabel->setFont(BodyFont(11, QFont::DemiBold));
    _managedLabel->setStyleSheet(
        "color: #2C4A8A; background: #E3EAFB; border-radius: 10px; padding: 3px 10px;");
    nameRow->addWidget(_managedLabel);
    nameRow->addWidget(_statusLabel);
    layout->addLayout(nameRow);

    // The editor: one colour button per palette entry.
    _editor = new QWidget(this);
    _editor->setObjectName("colorEditor");
    auto* editorLayout = new QHBoxLayout(_editor);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->setSpacing(4);
    for (int i = 0; i < kSignatureColorCount; ++i) {
        auto* button = new SignatureButtonView(_editor);
        button->setObjectName("colorButton");
        button->setFixedSize(40, 40);
        button->setColor(SignatureColors()[static_cast<size_t>(i)]);
        button->setStatus(SignatureButtonView::Status::active);
        button->setShowsStatus(false);
        button->setRingColor(QColor(0x1E2B30));
        connect(button, &QAbstractButton::clicked, this, [this, i] { chooseColor(i); });
        editorLayout->addWidget(button);
        _colorButtons.push_back(button);
    }
    editorLayout->addStretch();
    _editor->hide();
    layout->addWidget(_editor);

    // Details, hidden behind the editor's cover while it is open.
    _details = new QWidget(this);
    auto* details = new QVBoxLayout(_details);
    details->setContentsMargins(0, 0, 0, 0);
    details->setSpacing(16);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(6);
    // Each value under its caption, two to a row.
    const auto field = [&](const char* name, const char* caption, int place) {
        QLabel* value = Value(name, _details);
        grid->addWidget(Caption(Localized(caption), _details), place / 2 * 2, place % 2);
        grid->addWidget(value, place / 2 * 2 + 1, place % 2);
        return value;
    };
    _clientLabel = field("clientLabel", "Email client", 0);
    _accountLabel = field("accountLabel", "Email account", 1);
    _keyOrFileLabel = field("keyOrFileLabel", "Signature key or file", 2);
    _installedLabel = field("installedLabel", "Installed in", 4);
    _pendingLabel = field("pendingLabel", "Pending", 5);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    details->addLayout(grid);
    _fileNameLabel = Value("fileNameLabel", _details);
    _lastUpdatedLabel = Value("lastUpdatedLabel", _details);
    _lastUpdatedLabel->setStyleSheet("color: #6B7C83;");
    details->addWidget(_fileNameLabel);
    details->addWidget(_lastUpdatedLabel);

    _optionsLegend = Caption(Localized("Signature options"), _details);
    _repliesSwitch = new OptionSwitch(_details);
    _repliesSwitch->setObjectName("repliesSwitch");
    _forwardsSwitch = new OptionSwitch(Localized("Insert for forwards"), _details);
    _forwardsSwitch->setObjectName("forwardsSwitch");
    // The switches show the options; the panel offers no way to change them.
    for (QCheckBox* box : {_repliesSwitch, _forwardsSwitch}) {
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        box->setFocusPolicy(Qt::NoFocus);
        box->setFont(BodyFont(12));
    }
    details->addWidget(_optionsLegend);
    auto* switches = new QHBoxLayout;
    switches->addWidget(_repliesSwitch);
    switches->addWidget(_forwardsSwitch);
    switches->addStretch();
    details->addLayout(switches);

    auto* actions = new QHBoxLayout;
    _previewButton = ActionButton("previewButton", Localized("Preview Signature"), _details,
                                  kPrimaryButtonColors);
    _updateButton = ActionButton("updateButton", Localized("Update Signature"), _details,
                                 kSecondaryButtonColors);
    _uninstallButton = ActionButton("uninstallButton", Localized("Uninstall Signature"), _details,
                                    kDangerButtonColors);
    actions->addWidget(_previewButton);
    actions->addWidget(_updateButton);
    actions->addStretch();
    actions->addWidget(_uninstallButton);
    details->addSpacing(8);
    details->addLayout(actions);
    details->addStretch();
    _bannerButton = new QPushButton(_details);
    _bannerButton->setObjectName("bannerButton");
    _bannerButton->setFlat(true);
    _bannerButton->setCursor(Qt::PointingHandCursor);
    _bannerButton->hide();
    details->addWidget(_bannerButton, 0, Qt::AlignHCenter);
    layout->addWidget(_details);
    // What is left of the height stays below, whether the details or the editor show.
    layout->addStretch(1);

    connect(_editButton, &QPushButton::clicked, this,
            [this] { setEditingVisible(!_editingVisible); });
    connect(_nameField, &QLineEdit::editingFinished, this, [this] { commitName(); });
    connect(_uninstallButton, &QPushButton::clicked, this,
            [this] { QTimer::singleShot(0, this, [this] { confirmUninstall(); }); });
    connect(_updateButton, &QPushButton::clicked, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (_signatureId)
                _core.reinstallSignature(*_signatureId);
        });
    });
    connect(_previewButton, &QPushButton::clicked, this, [this] { showPreview(); });
    connect(_bannerButton, &QPushButton::clicked, this,
            [this] { _core.platform().workspace.openUrl(_core.brand().bannerTargetURL()); });

    NotificationCenter& center = _core.platform().notificationCenter;
    _observers.push_back(center.addObserver(
        kSignaturesUpdatedFromServerNotification, [this](const QString&, const UserInfo& info) {
            if (_engaged && _signatureId &&
                (ListsSignature(info, kUpdatedSignatureIdsKey, *_signatureId) ||
                 ListsSignature(info, kModifiedOnlySignatureIdsKey, *_signatureId)))
                fill();
        }));
    // A pass changes where the signature is installed and what is pending, even one that was
    // postponed (it marked what it was to write).
    _observers.push_back(
        center.addObserver(kSyncPassFinishedNotification, [this](const QString&, const UserInfo&) {
            if (_engaged)
                fill();
        }));
}

ExistingSignatureController::~ExistingSignatureController() {
    for (int token : _observers)
        _core.platform().notificationCenter.removeObserver(token);
}

PreviewSignatureController* ExistingSignatureController::visiblePreview() const {
    return _rPreviewSignatureControllerQ && _rPreviewSignatureControllerQ->isVisible()
               ? _rPreviewSignatureControllerQ
               : nullptr;
}

void ExistingSignatureController::engage(SignatureId id) {
    if (_signatureId != id)
        closePreview();
    _engaged = true;
    _signatureId = id;
    setEditingVisible(false);
    fill();
}

void ExistingSignatureController::refill() {
    if (!_engaged)
        return;
    fill();
    if (visiblePreview())
        showPreview();
}

void ExistingSignatureController::disengage() {
    // A name being typed belongs to this signature: commit it before another one is shown.
    if (_editingVisible)
        commitName();
    setEditingVisible(false);
    closePreview();
    _engaged = false;
}

void ExistingSignatureController::fill() {
    const SignaturePtr signature = _signatureId ? _core.signature(*_signatureId) : nullptr;
    if (!signature)
        return;
    // A refill while the person types leaves the field alone; the typed name is committed when
    // editing ends.
    if (!_editingVisible)
        showName(signature->nameQe);

    const int colorIndex = WrapSignatureColorIndex(signature->colorIndex);
    const SignatureColor& color = SignatureColors()[static_cast<size_t>(colorIndex)];
    _colorDot->setStyleSheet(
        QString("background: %1; border-radius: 14px;").arg(color.main.name()));
    for (size_t i = 0; i < _colorButtons.size(); ++i)
        _colorButtons[i]->setSelected(static_cast<int>(i) == colorIndex);

    // Uninstalled but still in a client (the person answered "Later", or the pass failed): it
    // stays on show until a pass takes it out, with nothing more to do to it.
    const bool removing = signature->pendingDeletion;
    _statusLabel->setText(removing            ? Localized("Being removed")
                          : signature->active ? Localized("Active")
                                              : Localized("Disabled"));
    _statusLabel->setStyleSheet(QString(removing ? "color: #44545A; background: #E8ECF0;"
                                        : signature->active
                                            ? "color: #1F7A4D; background: #DEF7EC;"
                                            : "color: #8A2C2C; background: #FBE3E3;") +
                                " border-radius: 10px; padding: 3px 10px;");
    _managedLabel->setVisible(_core.managed().isManaged(*_signatureId));
    _updateButton->setVisible(!removing);
    _uninstallButton->setVisible(!removing);
    _editButton->setVisible(!removing);

    const std::optional<Installation> installation = FirstInstallation(*signature);
    if (!installation) {
        _clientLabel->setText("-");
        _accountLabel->setText("-");
    } else {
        const auto info = _core.clientKindToInfoMap().find(installation->client);
        QString client = info != _core.clientKindToInfoMap().end()
                             ? ClientDescription(installation->client, *info->second)
                             : DisplayName(installation->client);
        if (installation->client == ClientKind::outlook && _core.isNewOutlookDetected()) {
            client = Localized("Microsoft Outlook (new Outlook isn't supported)");
            QTimer::singleShot(0, this, [this] { _core.showNewOutlookNoticeIfNeeded(); });
        }
        _clientLabel->setText(client);
        _accountLabel->setText(installation->accountEmail.isEmpty() ? Localized("All accounts")
                                                                    : installation->accountEmail);
    }

    _installedLabel->setText(InstalledText(*signature));
    _pendingLabel->setText(PendingText(*signature, _core.pendingScope()));

    if (!signature->keyQe.isEmpty()) {
        _keyOrFileLabel->setText(signature->keyQe);
    } else {
        const QString file = QFileInfo(signature->filePathQe).fileName();
        _keyOrFileLabel->setText(file.isEmpty() ? "-" : file);
    }
    _fileNameLabel->setVisible(signature->keyQe.isEmpty());
    _fileNameLabel->setText(Localized("Filename") + ": " + signature->fileNameQe);
    const QString date =
        signature->lastUpdateUnixTimeQz == 0
            ? QString("-")
            : QLocale().toString(QDateTime::fromSecsSinceEpoch(signature->lastUpdateUnixTimeQz),
                                 QLocale::LongFormat);
    _lastUpdatedLabel->setText(Localized("Last updated") + ": " + date);

    const ClientOptions options =
        installation ? OptionsOf(installation->client) : ClientOptions::none;
    _optionsLegend->setVisible(options != ClientOptions::none);
    _repliesSwitch->setVisible(options != ClientOptions::none);
    _forwardsSwitch->setVisible(options == ClientOptions::separateInsertForRepliesAndForwards);
    _repliesSwitch->setText(options == ClientOptions::combinedInsertForRepliesAndForwards
                                ? Localized("Insert for replies/forwards")
                                : Localized("Insert for replies"));
    _repliesSwitch->setChecked(signature->insertForRepliesForwards);
    _forwardsSwitch->setChecked(signature->insertForForwards);

    fillBanner();
}

void ExistingSignatureController::fillBanner() {
    if (!_core.brand().bannerEnabled()) {
        _bannerButton->hide();
        return;
    }
    const QString cachePath = _core.dataFolder() + "/" + kCachedBannerFileName;
    if (!_bannerImageQ && !_fetchingBannerImage) {
        QPixmap cached;
        if (QFileInfo::exists(cachePath) && cached.load(cachePath))
            _bannerImageQ = cached;
    }
    if (!_bannerImageQ && !_fetchingBannerImage) {
        _fetchingBannerImage = true;
        if (!_network)
            _network = new QNetworkAccessManager(this);
        QNetworkReply* reply = _network->get(QNetworkRequest(_core.brand().bannerImageURL()));
        connect(reply, &QNetworkReply::finished, this, [this, reply, cachePath] {
            reply->deleteLater();
            _fetchingBannerImage = false;
            const QByteArray data = reply->readAll();
            QPixmap image;
            if (reply->error() != QNetworkReply::NoError || !image.loadFromData(data))
                return;
            WriteFileAtomicallyOrFail(cachePath, data);
            _bannerImageQ = image;
            fillBanner();
        });
    }
    if (_bannerImageQ) {
        const QPixmap scaled = _bannerImageQ->width() > 600
                                   ? _bannerImageQ->scaledToWidth(600, Qt::SmoothTransformation)
                                   : *_bannerImageQ;
        _bannerButton->setIcon(scaled);
        _bannerButton->setIconSize(scaled.size());
        _bannerButton->show();
    } else {
        _bannerButton->hide();
    }
}

void ExistingSignatureController::showName(const QString& name) {
    _nameField->setText(name);
    // A name longer than the field shows its beginning, not its end.
    _nameField->setCursorPosition(0);
    _nameField->setToolTip(name);
}

void ExistingSignatureController::setEditingVisible(bool visible) {
    if (!visible && _editingVisible) {
        // Closing the editor ends editing in the field first.
        _editingVisible = false;
        commitName();
    }
    _editingVisible = visible;
    _nameField->setReadOnly(!visible);
    _editor->setVisible(visible);
    _details->setVisible(!visible);
    if (visible) {
        _nameField->setFocus();
        _nameField->selectAll();
    }
}

void ExistingSignatureController::commitName() {
    const SignaturePtr signature = _signatureId ? _core.signature(*_signatureId) : nullptr;
    if (!signature)
        return;
    const QString name = NormaliseTypedText(_nameField->text());
    if (name.isEmpty()) {
        showName(signature->nameQe);
        return;
    }
    if (name == signature->nameQe) {
        showName(name);
        return;
    }
    signature->nameQe = name;
    showName(name);
    emit changed();
    if (_editingVisible)
        setEditingVisible(false);
    _core.saveSignature(*_signatureId, true, true);
}

void ExistingSignatureController::chooseColor(int index) {
    const SignaturePtr signature = _signatureId ? _core.signature(*_signatureId) : nullptr;
    if (!signature)
        return;
    signature->colorIndex = index;
    setEditingVisible(false);
    fill();
    emit changed();
    // A colour is not written into any client.
    _core.saveSignature(*_signatureId, false, false);
}

void ExistingSignatureController::confirmUninstall() {
    const SignaturePtr signature = _signatureId ? _core.signature(*_signatureId) : nullptr;
    if (!_engaged || !signature)
        return;
    Alert alert;
    alert.style = AlertStyle::warning;
    alert.title = Localized("Uninstall Signature");
    alert.informativeText = FillPlaceholders(
        Localized("Are you sure you want to uninstall signature \"%@\"?"), {signature->nameQe});
    alert.buttons = {Localized("Uninstall"), Localized("Cancel")};
    if (_core.platform().prompter.ask(alert).button != Localized("Uninstall"))
        return;
    const SignatureId id = *_signatureId;
    signature->pendingDeletion = true;
    _core.saveSignature(id, true, true);
    emit uninstalled();
}

void ExistingSignatureController::showPreview() {
    if (!_signatureId)
        return;
    if (!_rPreviewSignatureControllerQ) {
        _rPreviewSignatureControllerQ =
            new PreviewSignatureController(_core.platform().workspace, this);
        connect(_rPreviewSignatureControllerQ, &PreviewSignatureController::closeRequested, this,
                [this] { closePreview(); });
    }
    const SignaturePtr signature = _core.signature(*_signatureId);
    const QString text = !signature                         ? QString()
                         : !signature->mainTextQe.isEmpty() ? signature->mainTextQe
                                                            : signature->localTextQe;
    _rPreviewSignatureControllerQ->engage(*_signatureId, text);
    _rPreviewSignatureControllerQ->setGeometry(rect());
    _rPreviewSignatureControllerQ->show();
    _rPreviewSignatureControllerQ->raise();
}

void ExistingSignatureController::closePreview() {
    // The preview program holds the web engine, its processes and much memory: it ends with the
    // preview, and the next preview starts it anew.
    if (_rPreviewSignatureControllerQ) {
        _rPreviewSignatureControllerQ->hide();
        _rPreviewSignatureControllerQ->deleteLater();
        _rPreviewSignatureControllerQ = nullptr;
    }
}

void ExistingSignatureController::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (_rPreviewSignatureControllerQ)
        _rPreviewSignatureControllerQ->setGeometry(rect());
}

}  // namespace quillet
