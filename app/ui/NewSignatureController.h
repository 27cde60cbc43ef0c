#pragma once
// The new-signature form in the main window: client and account drop-downs, the signature key
// (or an HTML file), the options the client offers, "Cancel" and "Install Signature". The rules
// live in NewSignatureForm; this class shows its state and hands the person's actions to it.

#include <memory>

#include "app/ui/NewSignatureForm.h"
#include "app/ui/NewSignaturePanel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quillet {

class BusyIndicator;

class NewSignatureController : public NewSignaturePanel {
    Q_OBJECT
public:
    NewSignatureController(Core& core, QWidget* parent = nullptr);
    ~NewSignatureController() override;

    void engage(int colorIndex) override;
    void disengage() override;
    bool isEngaged() const override;

    const NewSignatureForm& form() const { return *_form; }

    // The factory the main window uses for this form.
    static NewSignaturePanelFactory Factory();

private:
    void build();
    void refresh();
    void keyEditingEnded();
    void toggleMode();
    void chooseFile();
    void install();

    Core& _core;
    std::unique_ptr<NewSignatureForm> _form;
    bool _refreshing = false;
    // Set while the form writes the key field itself, so that its own change is not input.
    bool _changingKeyOrFileTextField = false;

    QComboBox* _clientDropDown = nullptr;
    QComboBox* _accountDropDown = nullptr;
    QLabel* _keyOrFileLegend = nullptr;
    QLineEdit* _keyField = nullptr;
    QPushButton* _fileField = nullptr;
    QLabel* _keyAccessory = nullptr;
    BusyIndicator* _keySpinner = nullptr;
    QToolButton* _modeButton = nullptr;
    QLabel* _optionsLegend = nullptr;
    QCheckBox* _repliesSwitch = nullptr;
    QCheckBox* _forwardsSwitch = nullptr;
    QPushButton* _cancelButton = nullptr;
    QPushButton* _installButton = nullptr;
};

}  // namespace quillet
