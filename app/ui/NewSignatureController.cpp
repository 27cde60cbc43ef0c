#include "app/ui/NewSignatureController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/core/Core.h"
#include "app/ui/BusyIndicator.h"
#include "app/ui/Controls.h"
#include "app/ui/Fonts.h"
#include "app/ui/Images.h"
#include "common/Localization.h"

namespace quillet {

namespace {

using Mode = NewSignatureForm::KeyOrFileMode;
using Accessory = NewSignatureForm::KeyAccessory;

QLabel* Legend(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(BodyFont(13, QFont::DemiBold));
    label->setStyleSheet("color: #1F2A28;");
    return label;
}

template <typename Item>
void Fill(QComboBox* box, const DropDown<Item>& dropDown) {
    box->clear();
    for (const Item& item : dropDown.items)
        box->addItem(item.text);
    box->setCurrentIndex(dropDown.selectedIndex.value_or(-1));
    box->setEnabled(dropDown.enabled);
}

}  // namespace

NewSignatureController::NewSignatureController(Core& core, QWidget* parent)
    : NewSignaturePanel(parent), _core(core) {
    setObjectName("newSignature");
    _form = std::make_unique<NewSignatureForm>(
        core, NewSignatureForm::Callbacks{[this] { refresh(); },
                                          [this](SignatureId id) { emit created(id); }});
    build();
    refresh();
}

NewSignatureController::~NewSignatureController() = default;

NewSignaturePanelFactory NewSignatureController::Factory() {
    return [](Core& core, QWidget* parent) -> NewSignaturePanel* {
        return new NewSignatureController(core, parent);
    };
}

void NewSignatureController::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 40, 48, 32);
    layout->setSpacing(10);

    layout->addWidget(Legend(Localized("Select your email client"), this));
    _clientDropDown = new QComboBox(this);
    _clientDropDown->setObjectName("client");
    _clientDropDown->setPlaceholderText(Localized("Select your email client"));
    layout->addWidget(_clientDropDown);
    connect(_clientDropDown, &QComboBox::activated, this, [this](int index) {
        if (!_refreshing)
            _form->chooseClientItem(index);
    });

    layout->addSpacing(8);
    layout->addWidget(Legend(Localized("Select your email account"), this));
    _accountDropDown = new QComboBox(this);
    _accountDropDown->setObjectName("account");
    _accountDropDown->setPlaceholderText(Localized("Select your email account"));
    layout->addWidget(_accountDropDown);
    connect(_accountDropDown, &QComboBox::activated, this, [this](int index) {
        if (!_refreshing)
            _form->chooseAccountItem(index);
    });

    layout->addSpacing(8);
    _keyOrFileLegend = Legend({}, this);
    _keyOrFileLegend->setObjectName("keyOrFileLegend");
    layout->addWidget(_keyOrFileLegend);
    auto* keyLine = new QHBoxLayout;
    _keyField = new QLineEdit(this);
    _keyField->setObjectName("key");
    keyLine->addWidget(_keyField, 1);
    connect(_keyField, &QLineEdit::textChanged, this, [this] {
        if (!_changingKeyOrFileTextField)
            _form->keyTextChanged();
    });
    connect(_keyField, &QLineEdit::editingFinished, this, [this] { keyEditingEnded(); });
    _fileField = new QPushButton(this);
    _fileField->setObjectName("file");
    _fileField->setStyleSheet("text-align: left; padding: 4px 8px;");
    keyLine->addWidget(_fileField, 1);
    connect(_fileField, &QPushButton::clicked, this, [this] { chooseFile(); });
    // The spinner and the check mark or cross take turns in one place beside the field.
    _keySpinner = new BusyIndicator(this);
    _keySpinner->setObjectName("keySpinner");
    keyLine->addWidget(_keySpinner);
    _keyAccessory = new QLabel(this);
    _keyAccessory->setObjectName("keyAccessory");
    _keyAccessory->setFixedWidth(20);
    keyLine->addWidget(_keyAccessory);
    _modeButton = new QToolButton(this);
    _modeButton->setObjectName("mode");
    _modeButton->setIconSize(QSize(22, 22));
    keyLine->addWidget(_modeButton);
    connect(_modeButton, &QToolButton::clicked, this, [this] { toggleMode(); });
    layout->addLayout(keyLine);

    layout->addSpacing(8);
    _optionsLegend = Legend(Localized("Configure your signature options"), this);
    layout->addWidget(_optionsLegend);
    _repliesSwitch = new QCheckBox(this);
    _repliesSwitch->setObjectName("replies");
    layout->addWidget(_repliesSwitch);
    connect(_repliesSwitch, &QCheckBox::toggled, this, [this](bool on) {
        if (!_refreshing)
            _form->setInsertForReplies(on);
    });
    _forwardsSwitch = new QCheckBox(Localized("Insert for forwards"), this);
    _forwardsSwitch->setObjectName("forwards");
    layout->addWidget(_forwardsSwitch);
    connect(_forwardsSwitch, &QCheckBox::toggled, this, [this](bool on) {
        if (!_refreshing)
            _form->setInsertForForwards(on);
    });

    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    _cancelButton = ActionButton("cancel", Localized("Cancel"), this, kSecondaryButtonColors);
    buttons->addWidget(_cancelButton);
    connect(_cancelButton, &QPushButton::clicked, this, [this] { emit cancelled(); });
    _installButton =
        ActionButton("install", Localized("Install Signature"), this, kPrimaryButtonColors);
    _installButton->setDefault(true);
    buttons->addWidget(_installButton);
    connect(_installButton, &QPushButton::clicked, this, [this] { install(); });
    // The keyboard's "Install Signature" (Return alone ends the key, which requests it).
    auto* installShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
    connect(installShortcut, &QShortcut::activated, this, [this] { install(); });
    layout->addLayout(buttons);
    StyleFormFields(this);
    _fileField->setFont(BodyFont(12));
    _fileField->setMinimumHeight(36);
}

void NewSignatureController::engage(int colorIndex) {
    _changingKeyOrFileTextField = true;
    _keyField->clear();
    _changingKeyOrFileTextField = false;
    _form->engage(colorIndex);
    // The keyboard starts at the first choice once the form is on show.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && _clientDropDown->isEnabled())
            _clientDropDown->setFocus();
    });
}

void NewSignatureController::disengage() {
    _form->disengage();
}

bool NewSignatureController::isEngaged() const {
    return _form->isEngaged();
}

void NewSignatureController::refresh() {
    _refreshing = true;
    Fill(_clientDropDown, _form->clientDropDown());
    Fill(_accountDropDown, _form->accountDropDown());

    const bool keyMode = _form->keyOrFileMode() == Mode::key;
    const bool requesting =
        _form->keyMainTextState() == NewSignatureForm::KeyMainTextState::requesting;
    _keyOrFileLegend->setText(keyMode ? Localized("Insert your signature key")
                                      : Localized("Select your HTML signature file"));
    _keyField->setVisible(keyMode);
    _keyField->setEnabled(!(keyMode && requesting));
    _fileField->setVisible(!keyMode);
    _fileField->setText(_form->filePath().value_or(Localized("Click to select your HTML file…")));
    _modeButton->setEnabled(!(keyMode && requesting));
    const QString modeImage = keyMode ? "new-signature-use-file" : "new-signature-use-key";
    _modeButton->setIcon(ImageIcon(modeImage));
    _modeButton->setToolTip(keyMode ? Localized("Select your HTML signature file")
                                    : Localized("Insert your signature key"));
    const Accessory accessory = keyMode ? _form->keyAccessory() : Accessory::none;
    _keySpinner->setVisible(accessory == Accessory::spinner);
    _keyAccessory->setText(accessory == Accessory::checkMark ? "✓"
                           : accessory == Accessory::cross   ? "✗"
                                                             : QString());
    _keyAccessory->setStyleSheet(accessory == Accessory::checkMark
                                     ? "color: #4D6966; font-size: 15pt; font-weight: 700;"
                                     : "color: #B0413E; font-size: 15pt; font-weight: 700;");

    const ClientOptions options = _form->options();
    _optionsLegend->setVisible(options != ClientOptions::none);
    _repliesSwitch->setVisible(options != ClientOptions::none);
    _repliesSwitch->setText(options == ClientOptions::combinedInsertForRepliesAndForwards
                                ? Localized("Insert for replies/forwards")
                                : Localized("Insert for replies"));
    _repliesSwitch->setChecked(_form->insertForReplies());
    _forwardsSwitch->setVisible(options == ClientOptions::separateInsertForRepliesAndForwards);
    _forwardsSwitch->setChecked(_form->insertForForwards());
    _refreshing = false;
}

void NewSignatureController::keyEditingEnded() {
    if (_changingKeyOrFileTextField || _form->keyOrFileMode() != Mode::key)
        return;
    const QString key = _form->keyEditingEnded(_keyField->text());
    if (key != _keyField->text()) {
        _changingKeyOrFileTextField = true;
        _keyField->setText(key);
        _changingKeyOrFileTextField = false;
    }
}

void NewSignatureController::toggleMode() {
    if (_form->keyOrFileMode() == Mode::key) {
        // A key being typed is committed before the field changes to the file.
        keyEditingEnded();
        if (QWidget* focused = focusWidget())
            focused->clearFocus();
    } else {
        _changingKeyOrFileTextField = true;
        _keyField->clear();
        _changingKeyOrFileTextField = false;
    }
    const bool toFile = _form->keyOrFileMode() == Mode::key;
    _form->toggleKeyOrFileMode();
    if (toFile) {
        const auto engagement = _form->engagementId();
        _core.platform().mainQueue.postAfter(
            1.0, [this, guard = QPointer<QWidget>(this), engagement] {
                if (guard && _form->engagementId() == engagement && _fileField->isVisible() &&
                    _fileField->focusPolicy() != Qt::NoFocus) {
                    _fileField->setFocus();
                }
            });
    }
}

void NewSignatureController::chooseFile() {
    QFileDialog dialog(this, Localized("Select your HTML signature file"));
    dialog.setObjectName("htmlFileDialog");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter("HTML (*.html)");
    // Read-only: the panel offers no folder creation.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
    // The person's own folders, not the program's working folder; wide enough for the names.
    dialog.setDirectory(_core.platform().paths.home());
    dialog.resize(820, 520);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    if (!path.endsWith(".html", Qt::CaseInsensitive))
        return;
    _form->chooseFile(path);
}

void NewSignatureController::install() {
    // A key still being typed is committed (and requested) before the checks run.
    keyEditingEnded();
    _form->install();
}

}  // namespace quillet
