#pragma once
// The panel of one installed signature: its name and colour, whether it is active, the client
// and account it was installed for, where it is installed now and what still waits for a pass
// to write it, its key or file, its options, its last update and the banner; from it the person
// renames, recolours, previews, updates and uninstalls it.

#include <QPixmap>
#include <QWidget>
#include <optional>
#include <vector>

#include "common/SignatureId.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QPushButton;

namespace quillet {

class Core;
class PreviewSignatureController;
class SignatureButtonView;

class ExistingSignatureController : public QWidget {
    Q_OBJECT
public:
    static inline const QString kCachedBannerFileName = "CachedBanner";

    explicit ExistingSignatureController(Core& core, QWidget* parent = nullptr);
    ~ExistingSignatureController() override;

    // Shows the signature (one the engine lists) and fills every element; a preview of
    // another signature is closed.
    void engage(SignatureId id);
    // Shows the signature's record as the engine now holds it (another process changed it); a
    // name being typed and the editor stay, and an open preview shows the new text.
    void refill();
    // Commits a name being typed to the signature, then stops.
    void disengage();
    bool isEngaged() const { return _engaged; }
    std::optional<SignatureId> signatureId() const { return _signatureId; }
    bool isEditingVisible() const { return _editingVisible; }
    // The preview on show; null when closed.
    PreviewSignatureController* visiblePreview() const;

signals:
    // The name or the colour changed.
    void changed();
    // The person confirmed the uninstall; the engine removes it from the clients.
    void uninstalled();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fill();
    void fillBanner();
    void showName(const QString& name);
    void setEditingVisible(bool visible);
    void commitName();
    void chooseColor(int index);
    void confirmUninstall();
    void showPreview();
    void closePreview();

    Core& _core;
    std::optional<SignatureId> _signatureId;
    bool _engaged = false;
    bool _editingVisible = false;
    std::vector<int> _observers;

    QLineEdit* _nameField;
    QPushButton* _editButton;
    QLabel* _colorDot;
    QLabel* _statusLabel;
    QLabel* _managedLabel;  // the organisation's signature
    QWidget* _details;      // what the editor's cover hides
    QWidget* _editor;       // the colour buttons
    std::vector<SignatureButtonView*> _colorButtons;
    QLabel* _clientLabel;
    QLabel* _accountLabel;
    QLabel* _keyOrFileLabel;
    QLabel* _installedLabel;
    QLabel* _pendingLabel;
    QLabel* _fileNameLabel;
    QLabel* _lastUpdatedLabel;
    QLabel* _optionsLegend;
    QCheckBox* _repliesSwitch;
    QCheckBox* _forwardsSwitch;
    QPushButton* _previewButton;
    QPushButton* _updateButton;
    QPushButton* _uninstallButton;
    QPushButton* _bannerButton;
    std::optional<QPixmap> _bannerImageQ;
    bool _fetchingBannerImage = false;
    QNetworkAccessManager* _network = nullptr;
    PreviewSignatureController* _rPreviewSignatureControllerQ = nullptr;
};

}  // namespace quillet
