#pragma once
// The content of the main window: the toolbar (product name, one button per signature, the add
// button, Check for Updates, Feedback, Help, Quit, version) and one of three panels on the
// right — the intro, the new-signature form or the selected signature — with the strip that
// reports a finished sync.

#include <QWidget>
#include <optional>
#include <vector>

#include "app/ui/NewSignaturePanel.h"
#include "common/SignatureId.h"

class QLabel;
class QMenu;
class QPushButton;
class QUrl;
class QScrollArea;
class QVBoxLayout;

namespace quillet {

class AddButtonView;
class BigButtonView;
class Core;
class ExistingSignatureController;
class IntroController;
class MainControllerDelegate;
class NotificationView;
class SignatureButtonView;
class UserNotifier;

class MainController : public QWidget {
    Q_OBJECT
public:
    enum class State { intro, newSignature, existingSignature };

    // The signature being added: the symbol of its button and its palette position.
    struct PendingNewSignature {
        QString symbol;
        int colorIndex = 0;
    };

    MainController(Core& core, MainControllerDelegate& delegate, UserNotifier& notifier,
                   NewSignaturePanelFactory newSignaturePanelFactory, QWidget* parent = nullptr);
    ~MainController() override;

    void engage();
    void disengage();
    bool isEngaged() const { return _engaged; }
    // The engine read its signatures anew (a restore put the store back, another process changed
    // it): the list and the panel show them; the signature on show stays selected while it is
    // listed, and a signature being added stays in its form, with what the person typed.
    void signaturesReplaced();

    // Asks whether to quit (Return keeps the application) and ends it on "Quit".
    void confirmQuit();
    // Puts "Restore…" into the window too, so restore points are reachable without a tray.
    void setRestoreMenu(QMenu* menu);

    State state() const { return _state; }
    std::optional<int> selectedSignatureIndex() const { return _selectedSignatureIndexQ; }
    const std::vector<SignatureButtonView*>& signatureButtons() const {
        return _signatureButtonViews;
    }
    QWidget* signatureList() const;
    AddButtonView* addButton() const { return _addButtonView; }
    NotificationView* notificationView() const { return _notificationView; }
    // The panel on show (null before the first engagement).
    QWidget* currentPanel() const { return _currentPanel; }
    ExistingSignatureController* existingSignatureController() const {
        return _rExistingSignatureControllerQ;
    }

private:
    QWidget* makeToolbar();
    SignatureIds listed() const;
    void resetSelection(bool preferLast);
    void reloadSignatureButtons(bool scrollToTop);
    void configureButton(int index, const SignatureIds& listed);
    void updateAddButton();
    QWidget* panelForState();
    void detachPanel();
    void attachPanel();
    void showPanelAfterChange();

    void handleAdd();
    void selectSignature(SignatureButtonView* button);
    void handleUpdate();
    void handleFeedback();
    void handleHelp();
    void handleQuit();
    void openLink(const QUrl& url);
    void newSignatureCancelled();
    void newSignatureCreated(SignatureId id);
    void signaturesUpdatedInClients(bool hadProblems);

    Core& _core;
    MainControllerDelegate& _delegate;
    UserNotifier& _notifier;
    NewSignaturePanelFactory _newSignaturePanelFactory;
    std::vector<int> _observers;

    QLabel* _titleLabelView = nullptr;
    std::vector<SignatureButtonView*> _signatureButtonViews;
    QScrollArea* _signaturesScrollView = nullptr;
    QWidget* _signaturesDocumentView = nullptr;
    QVBoxLayout* _signaturesLayout = nullptr;
    AddButtonView* _addButtonView = nullptr;
    BigButtonView* _updateButtonView = nullptr;
    BigButtonView* _feedbackButtonView = nullptr;
    BigButtonView* _helpButtonView = nullptr;
    BigButtonView* _quitButtonView = nullptr;
    QPushButton* _restoreButton = nullptr;
    QLabel* _versionLabelView = nullptr;
    NotificationView* _notificationView = nullptr;
    QWidget* _panelHost = nullptr;
    QVBoxLayout* _panelLayout = nullptr;
    QWidget* _currentPanel = nullptr;

    IntroController* _rIntroControllerQ = nullptr;
    NewSignaturePanel* _rNewSignatureControllerQ = nullptr;
    ExistingSignatureController* _rExistingSignatureControllerQ = nullptr;

    bool _engaged = false;
    State _state = State::intro;
    std::optional<int> _selectedSignatureIndexQ;
    std::optional<int> _lastSelectedSignatureIndexQ;
    std::optional<PendingNewSignature> _pendingNewSignatureQ;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace quillet
