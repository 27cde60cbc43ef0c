// quillet-screenshots --compare A.png B.png: the share of pixels that differ visibly between two
// renderings of the same size; fails above 3 %.
// quillet-screenshots FOLDER: renders every panel and state of the main window at 1000 × 700 on
// the offscreen platform into FOLDER/*.png, over a sample Mac in a temporary folder. The preview's
// page alone goes to preview-page.png (and its HTML to preview-page.html) for comparison with a
// browser's rendering of the same HTML.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

#include "app/core/Core.h"
#include "app/demo/SampleMac.h"
#include "app/ui/DialogPrompter.h"
#include "app/ui/ExistingSignatureController.h"
#include "app/ui/Fonts.h"
#include "app/ui/MainController.h"
#include "app/ui/MainControllerDelegate.h"
#include "app/ui/NewSignatureController.h"
#include "app/ui/NewSignaturePanel.h"
#include "app/ui/PermissionsAssistant.h"
#include "app/ui/PreviewSignatureController.h"
#include "app/ui/SignatureButtonView.h"
#include "app/ui/UserNotifier.h"
#include "app/ui/preview/PreviewView.h"
#include "common/Localization.h"
#include "platform/Accessibility.h"
#include "platform/FileWorkspace.h"
#include "platform/ManualMainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/ScriptedPrompter.h"
#include "tools/screenshots/SampleSignature.h"

using namespace quillet;

namespace {

class NoDelegate : public MainControllerDelegate, public UserNotifier {
public:
    void checkForUpdates() override {}
    void terminate() override {}
    void deliver(const QString&, const QString&) override {}
};

void Settle(int milliseconds = 50) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (timer.elapsed() < milliseconds);
}

bool Save(QWidget& widget, const QString& path) {
    Settle();
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toUtf8().constData());
    return saved;
}

void Click(QWidget& root, const char* name) {
    if (auto* button = root.findChild<QAbstractButton*>(name))
        button->click();
    Settle();
}

// A long name, more signatures than the toolbar has room for (top and bottom of the list), and
// one uninstalled that a client still holds.
template <class Add>
void SaveListStates(MainController& main, Core& core, const Add& add, const QString& folder) {
    const SignatureId first = core.visibleSignatureIds().front();
    const QString name = core.signature(first)->nameQe;
    core.signature(first)->nameQe = "Jane Doe – Head of Customer Success, Northern Europe";
    core.saveSignature(first, false, false);
    main.signaturesReplaced();
    Save(main, folder + "/signature-long-name.png");
    core.signature(first)->nameQe = name;
    core.saveSignature(first, false, false);

    std::vector<SignatureId> more;
    for (int i = 4; i <= 7; ++i)
        more.push_back(add(Localized("Signature Name ") + QString::number(i), i,
                           ClientKind::thunderbird, "tom@example.com", "k" + QString::number(i)));
    main.signaturesReplaced();
    Save(main, folder + "/signatures-many.png");
    main.signatureButtons().back()->click();
    Settle();
    Save(main, folder + "/signatures-many-last.png");

    Signature& removing = *core.signature(more.back());
    removing.pendingDeletion = true;
    removing.clientKindToPerformedInstallationsInfoMap[ClientKind::thunderbird]
        .accountEmailToPayloadMap["tom@example.com"] = {};
    core.saveSignature(more.back(), false, false);
    main.signaturesReplaced();
    Save(main, folder + "/signature-being-removed.png");
    for (SignatureId id : more) {
        core.signature(id)->pendingDeletion = true;
        core.signature(id)->clientKindToPerformedInstallationsInfoMap.clear();
        core.saveSignature(id, false, false);
    }
    main.signaturesReplaced();
    main.signatureButtons()[0]->click();
    Settle();
}

// An alert as the application shows it, over the main window.
void SaveAlert(MainController& main, const QString& folder) {
    std::vector<QPushButton*> buttons;
    const auto box = DialogPrompter::MakeBox(
        Alert{AlertStyle::warning,
              Localized("Some email clients need to be closed."),
              Localized("The following email clients need to be closed in order to update "
                        "signatures:\n") +
                  "Thunderbird\n",
              {Localized("OK"), Localized("Later")},
              Localized("Re-open the email clients after updating signatures"),
              0},
        &main, &buttons);
    box->show();
    Save(*box, folder + "/alert.png");
}

int Compare(const QString& first, const QString& second) {
    const QImage a = QImage(first).convertToFormat(QImage::Format_RGB32);
    const QImage b = QImage(second).convertToFormat(QImage::Format_RGB32);
    if (a.isNull() || a.size() != b.size()) {
        std::fprintf(stderr, "cannot compare %s and %s (missing, or sizes differ)\n",
                     first.toUtf8().constData(), second.toUtf8().constData());
        return 1;
    }
    // Anti-aliasing and font hinting differ between engines: only clear differences count.
    constexpr int kTolerance = 64;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > kTolerance ||
                std::abs(qGreen(p) - qGreen(q)) > kTolerance ||
                std::abs(qBlue(p) - qBlue(q)) > kTolerance)
                ++differing;
        }
    }
    const double share = 100.0 * static_cast<double>(differing) / (a.width() * a.height());
    std::printf("%.2f %% of the pixels differ\n", share);
    return share <= 3.0 ? 0 : 1;
}

}  // namespace

// The permissions assistant with every row, then with two of them granted.
void SaveAssistant(const Core& core, Workspace& workspace, ManualMainQueue& mainQueue,
                   const FakeMac& mac, const QString& folder) {
    using R = AccessibilityRequirementType;
    PermissionsAssistant assistant(core.permissionContext(),
                                   {R::accessibility, R::fullDiskAccess, R::automationAppleMail,
                                    R::automationOutlook, R::automationSystemEvents},
                                   workspace, mainQueue, "/Applications/Q.app");
    assistant.start();
    assistant.show();
    assistant.adjustSize();
    Save(assistant, folder + "/permissions-assistant.png");
    mac.setAccessibilityTrusted(true);
    Click(assistant, "action-automationAppleMail");
    Settle(1500);
    mainQueue.advance(PermissionsAssistant::kPollInterval);
    Save(assistant, folder + "/permissions-assistant-partly-done.png");
    assistant.finish();
}

int main(int argc, char* argv[]) {
    if (argc == 4 && QString(argv[1]) == "--compare") {
        QGuiApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QCoreApplication core(argc, argv);
        return Compare(argv[2], argv[3]);
    }
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillet-screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QDir(argv[1]).absolutePath();
    QDir().mkpath(folder);

    FakeMac mac;
    BuildSampleMac(mac);
    ManualMainQueue mainQueue;
    NotificationCenter notificationCenter;
    ScriptedPrompter prompter;
    FileWorkspace workspace(mac.paths());
    FileAccessibility accessibility(mac.paths());
    auto bundle = Bundle::open(mac.bundlePath());
    if (!bundle)
        return 1;
    InstallLocalizationBundle(&*bundle);
    LoadBundledFonts();
    const Platform platform{mac.paths(), mainQueue, notificationCenter, prompter,
                            workspace,   *bundle,   accessibility};
    Core::Options options;
    options.serviceUrl = QUrl("http://127.0.0.1:9");
    options.console = [](const QString&) {};
    auto created = Core::create(platform, options);
    if (!created) {
        std::fprintf(stderr, "%s\n", created.error().toUtf8().constData());
        return 1;
    }
    std::unique_ptr<Core> core = std::move(*created);

    NoDelegate delegate;
    MainController main(*core, delegate, delegate, NewSignatureController::Factory());
    QMenu restoreMenu(Localized("Restore…"));
    restoreMenu.addAction(Localized("No restore points"))->setEnabled(false);
    main.setRestoreMenu(&restoreMenu);
    main.resize(1000, 700);
    main.show();
    main.engage();
    Save(main, folder + "/intro.png");
    Click(main, "addButton");
    Save(main, folder + "/new-signature.png");
    // The form's states: a client with its accounts and switches, then the file mode.
    if (auto* clients = main.currentPanel()->findChild<QComboBox*>("client")) {
        const int outlook = clients->findText("Microsoft Outlook", Qt::MatchStartsWith);
        clients->setCurrentIndex(outlook);
        emit clients->activated(outlook);
        Save(main, folder + "/new-signature-outlook.png");
        Click(main, "mode");
        Save(main, folder + "/new-signature-file.png");
    }
    emit qobject_cast<NewSignaturePanel*>(main.currentPanel())->cancelled();
    Settle();

    const auto add = [&](const QString& name, int color, ClientKind kind, const QString& email,
                         const QString& key) {
        const SignatureId id = core->addSignature();
        Signature& s = *core->signature(id);
        s.nameQe = name;
        s.colorIndex = color;
        s.keyQe = key;
        s.mainTextQe = key.isEmpty() ? QString() : SampleSignatureHtml();
        s.localTextQe = key.isEmpty() ? SampleSignatureHtml() : QString();
        s.filePathQe = key.isEmpty() ? "/Users/ann/Documents/Signatures/support-team.html" : "";
        s.fileNameQe = key.isEmpty() ? "qlt090514030726" : "";
        s.lastUpdateUnixTimeQz = 1780000000;
        s.insertForRepliesForwards = true;
        auto& selection = s.clientKindToSelectedInstallationsInfoMap[kind];
        if (email.isEmpty()) {
            selection.allAccountsSelected = true;
            selection.allAccountsPayloadX = SelectedInstallationPayload{};
        } else {
            selection.accountEmailToPayloadMap[email] = {};
        }
        core->saveSignature(id, false, false);
        return id;
    };
    add("Jane Doe", 12, ClientKind::thunderbird, "tom@example.com", "kx7-2m9q");
    const SignatureId file =
        add("Support Team", 4, ClientKind::postbox, "pat@example.com", QString());
    core->signature(file)->active = false;
    add("Work", 7, ClientKind::outlook, QString(), "w0rk-k3y");
    main.disengage();
    main.engage();
    Save(main, folder + "/signature-key.png");
    main.signatureButtons()[1]->click();
    Settle();
    Save(main, folder + "/signature-file.png");
    main.signatureButtons()[2]->click();
    Settle();
    Save(main, folder + "/signature-outlook-all-accounts.png");
    main.signatureButtons()[0]->click();
    Settle();
    Click(*main.existingSignatureController(), "editButton");
    Save(main, folder + "/signature-editor.png");
    Click(*main.existingSignatureController(), "editButton");
    SaveListStates(main, *core, add, folder);
    core->platform().notificationCenter.post(kSignaturesUpdatedInClientsNotification,
                                             {{"HadProblems", false}});
    Save(main, folder + "/notification.png");
    Settle(3600);

    Click(*main.existingSignatureController(), "previewButton");
    PreviewSignatureController* preview = main.existingSignatureController()->visiblePreview();
    if (preview) {
        bool loaded = false;
        QObject::connect(preview, &PreviewSignatureController::loaded, [&] { loaded = true; });
        QElapsedTimer timer;
        timer.start();
        while (!loaded && timer.elapsed() < 60000)
            Settle(50);
        // The page paints a moment after it has loaded.
        Settle(1500);
        Save(main, folder + "/preview.png");
        // The page as the preview program shows it in the panel's page area (offscreen, the
        // program's window is not in the panel).
        PreviewView page([](const QUrl&) {});
        page.resize(preview->findChild<QWidget*>("previewPageArea")->size());
        page.show();
        bool pageLoaded = false;
        QObject::connect(&page, &PreviewView::loaded, [&] { pageLoaded = true; });
        page.load(SampleSignatureHtml().toUtf8());
        timer.restart();
        while (!pageLoaded && timer.elapsed() < 60000)
            Settle(50);
        Settle(1500);
        Save(page, folder + "/preview-page.png");
        QFile html(folder + "/preview-page.html");
        if (html.open(QIODevice::WriteOnly))
            html.write(("<html><head><meta charset='utf-8'></head><body>" + SampleSignatureHtml() +
                        "</body></html>")
                           .toUtf8());
        std::printf("preview page %dx%d\n", page.width(), page.height());
    }
    SaveAssistant(*core, workspace, mainQueue, mac, folder);
    SaveAlert(main, folder);
    main.disengage();
    InstallLocalizationBundle(nullptr);
    return 0;
}
