#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

#include "app/core/StoreWatcher.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/ui/AddButtonView.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/ExistingSignatureController.h"
#include "app/ui/LoginItem.h"
#include "app/ui/MainController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/NewSignaturePanel.h"
#include "app/ui/NotificationView.h"
#include "app/ui/PlaceholderNewSignaturePanel.h"
#include "app/ui/PreviewSignatureController.h"
#include "app/ui/RestoreMenu.h"
#include "app/ui/SignatureButtonView.h"
#include "app/ui/Updater.h"
#include "common/Localization.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/SyncTestSupport.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

// The main window's stories (tests/data/ui/window): what the person or another program does, and
// what is then seen of the window, the store or the world outside. The window is over the engine
// on a fake Mac; the test is its delegate and user notifier, and records what they were asked. A
// story that launches has the application around the window, with its status item's restore menu.
class MainControllerTest : public testing::TestWithParam<const char*>,
                           protected EngineHarness,
                           public MainControllerDelegate,
                           public UserNotifier {
protected:
    MainControllerTest() { InstallLocalizationBundle(platform.bundle.get()); }
    ~MainControllerTest() override {
        InstallLocalizationBundle(nullptr);
        qputenv("QUILLET_PREVIEW_PROGRAM", previewProgram);
    }
    void checkForUpdates() override { ++updateChecks; }
    void terminate() override { ++terminations; }
    void deliver(const QString& title, const QString& informativeText) override {
        delivered << title + ": " + informativeText;
    }
    // The application's window, or else the window alone, created, shown and engaged on first use.
    MainController& controller() {
        if (app)
            return *app->mainController();
        if (!windowAlone) {
            windowAlone = std::make_unique<MainController>(engine(), *this, *this,
                                                           DefaultNewSignaturePanelFactory());
            windowAlone->resize(1000, 700);
            windowAlone->show();
            windowAlone->engage();
            // As the application does: what other processes write into the store shows.
            watcher = std::make_unique<StoreWatcher>(engine());
            Settle();
        }
        return *windowAlone;
    }
    // Lets what the widgets started on this turn begin, then finishes the engine's work.
    void finishWork() {
        Settle();
        finish();
        Settle();
    }
    void launch() {
        app = std::make_unique<AppDelegate>(AppParts{engine(), loginItem, updater, preferences,
                                                     this, DefaultNewSignaturePanelFactory()});
        app->willFinishLaunching();
        app->didFinishLaunching();
        finishWork();
    }
    void restore() {
        QSignalSpy finished(app->restoreMenu(), &RestoreMenu::finished);
        const std::size_t alertsBefore = platform.prompter.shown().size();
        emit app->restoreMenu()->aboutToShow();  // as the person opens it
        app->restoreMenu()->actions().front()->trigger();
        // The person is asked on the next turn of the loop: a declined restore ends there, an
        // accepted one when it finishes, waiting on the engine's clock for clients it closed.
        const auto done = [&] {
            return finished.count() > 0 || (platform.prompter.shown().size() > alertsBefore &&
                                            !app->restoreMenu()->isRestoring());
        };
        for (int step = 0; step < 200 && !done(); ++step) {
            platform.mainQueue.advance(0.25);
            Settle(10);
        }
    }
    // The restore menu's items as the person opens it, the disabled ones in brackets.
    QString menu() {
        emit app->restoreMenu()->aboutToShow();
        QStringList texts;
        for (QAction* action : app->restoreMenu()->actions())
            texts << (action->isEnabled() ? action->text() : "(" + action->text() + ")");
        return texts.join(" ; ");
    }
    // Opens the preview and waits for its page; its program is looked at from then on.
    void preview() {
        QTest::mouseClick(element("previewButton"), Qt::LeftButton);
        PreviewSignatureController* shown = panel().visiblePreview();
        ASSERT_TRUE(shown);
        QSignalSpy loaded(shown, &PreviewSignatureController::loaded);
        previewed = !loaded.wait(60000) ? "no answer" : loaded[0][0].toBool() ? "loaded" : "failed";
        program = shown->previewProcess() ? shown->previewProcess()->processId() : 0;
    }
    ExistingSignatureController& panel() { return *controller().existingSignatureController(); }
    template <typename T = QAbstractButton>
    T* element(const QString& name) {
        return Child<T>(&panel(), name);
    }
    // The list (the selected one in brackets, ~ being removed, - unusable), the panel, the
    // success notice, and how many notices and sync passes there were.
    QString window() {
        MainController& main = controller();
        QString list = main.addButton()->isEnabled() ? "+" : "-";
        const auto buttons = main.signatureButtons();
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            QString symbol = buttons[i]->symbol();
            symbol += buttons[i]->status() == SignatureButtonView::Status::removing ? "~" : "";
            symbol += buttons[i]->isEnabled() ? "" : "-";
            list +=
                main.selectedSignatureIndex() == static_cast<int>(i) ? "[" + symbol + "]" : symbol;
        }
        QString shows = main.state() == MainController::State::intro ? "intro" : "new signature";
        if (main.state() == MainController::State::existingSignature) {
            const QString stored = engine().signature(*panel().signatureId())->nameQe;
            const QString typed = element<QLineEdit>("nameField")->text();
            shows = "shows " + stored + (typed == stored ? "" : ", typed " + typed);
        }
        return QStringList{
            main.signatureList()->isVisible() ? list : "no list", shows,
            main.notificationView()->isVisible() ? main.notificationView()->text() : "no notice",
            QString("%1 delivered").arg(delivered.size()),
            QString("%1 passes").arg(engine().syncOutcomes().size())}
            .join(" | ");
    }
    // The panel's shown texts; a switch as its text and [x] or [ ], a button's in brackets.
    QString shown() {
        QStringList texts{element<QLineEdit>("nameField")->text()};
        for (QWidget* widget : panel().findChildren<QWidget*>()) {
            if (const auto* text = qobject_cast<QLabel*>(widget); text && text->isVisible())
                texts << text->text();
            else if (const auto* box = qobject_cast<QCheckBox*>(widget); box && box->isVisible())
                texts << box->text() + (box->isChecked() ? " [x]" : " [ ]");
            else if (const auto* button = qobject_cast<QPushButton*>(widget);
                     button && button->isVisible())
                texts << "[" + button->text() + "]";
        }
        const QString updated =
            QLocale().toString(QDateTime::fromSecsSinceEpoch(1780000000), QLocale::LongFormat);
        return texts.join(" | ").replace(updated, "UPDATED");
    }
    // Each stored signature: its name (~ being removed), colour, text and the clients holding it.
    QString store() {
        QStringList lines;
        for (SignatureId id : engine().signatureIds()) {
            const SignaturePtr s = engine().signature(id);
            QString line = s->nameQe + (s->pendingDeletion ? "~" : "") +
                           QString(" %1 ").arg(s->colorIndex) + s->mainTextQe;
            for (const auto& [kind, installed] : s->clientKindToPerformedInstallationsInfoMap)
                line += " in " + StoredText(kind);
            lines << line;
        }
        return lines.join(" ; ");
    }
    // Stores a signature and waits for the refresh the save starts. The cells: a name alone (an
    // active signature of key k1 in Thunderbird for jane@x.org), or the name, active, key, file
    // path, file name, last update, client and account ("-": none; no account: all accounts) and
    // whether it is inserted for replies.
    SignatureId add(QStringList a) {
        if (a.size() == 1)
            a += QStringList{"yes", "k1", "-", "-", "0", "Thunderbird", "jane@x.org"};
        a.replaceInStrings(QRegularExpression("^-$"), "");
        const bool active = a[1] == "yes";
        const auto client = ClientKindFromStoredText(a[6]);
        // The service tells the engine which keys are active: it serves an active signature's key
        // before the save's refresh asks for it, and a disabled one's not at all.
        if (!a[2].isEmpty() && active)
            service.setSignature(a[2], "<p>Jane</p>");
        else if (!a[2].isEmpty())
            service.removeSignature(a[2]);
        const SignatureId id = engine().addSignature([&](Signature& s) {
            s.nameQe = a[0];
            s.active = active;
            s.keyQe = a[2];
            s.filePathQe = a[3];
            s.fileNameQe = a[4];
            (a[2].isEmpty() ? s.localTextQe : s.mainTextQe) = "<p>Jane</p>";
            s.lastUpdateUnixTimeQz = a[5].toLongLong();
            if (client && a[7].isEmpty())
                SelectAllAccounts(s, *client);
            else if (client)
                SelectAccounts(s, *client, {a[7]});
        });
        finishWork();
        if (a.size() > 8)
            engine().signature(id)->insertForRepliesForwards = a[8] == "yes";
        return id;
    }
    NewSignaturePanel& form() {
        return *qobject_cast<NewSignaturePanel*>(controller().currentPanel());
    }
    void sync(const QStringList& names) {
        SignatureIds ids;
        for (SignatureId id : engine().signatureIds()) {
            if (names.contains(engine().signature(id)->nameQe)) {
                engine().signature(id)->markForReinstallation();
                ids.push_back(id);
            }
        }
        engine().syncSignatures(ids);
    }
    void type(const QString& text) {  // tabs and line feeds cannot be typed: they come pasted
        if (!panel().isEditingVisible())
            Click(element("editButton"));
        auto* field = element<QLineEdit>("nameField");
        field->selectAll();
        field->insert(QString(text).replace("\\t", "\t").replace("\\n", "\n"));
    }
    void failLinks() {  // no program can open one
        const QString record = mac.rootPath("/var/run/workspace/log");
        ASSERT_TRUE(QFile::remove(record) && QDir().mkpath(record));
    }

    const std::map<QString, StoryStep> steps = {
        // Thunderbird with one profile whose identity is jane@x.org, its account discovered.
        {"thunderbird",
         [this](auto&) {
             mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
             accounts[ClientKind::thunderbird] = MozillaAccountsInfo({"jane@x.org"}).accounts;
             prefs = WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                                        FakeIdentityPrefsLines("1", "jane@x.org"));
         }},
        {"keep thunderbird",
         [this](auto& a) { versions[ReadFakeFile(prefs).value_or("")] = a[0]; }},
        {"edit in thunderbird",
         [this](auto& a) {
             mac.writeFile(prefs, ReadFakeFile(prefs)->replace(a[0].toUtf8(), a[1].toUtf8()));
         }},
        {"launch", [this](auto&) { launch(); }},
        {"preview", [this](auto&) { preview(); }},
        {"preview program", [](auto& a) { qputenv("QUILLET_PREVIEW_PROGRAM", a[0].toUtf8()); }},
        {"restore", [this](auto&) { restore(); }},
        {"damage the point",
         [this](auto&) {
             const QString point = engine().restorePoints().list().front().folder;
             ASSERT_TRUE(QFile::remove(point + "/unit-1.json"));
         }},
        {"check for updates", [this](auto&) { app->checkForUpdates(); }},
        {"place", [this](auto&) { app->mainWindow()->setGeometry(40, 30, 1100, 760); }},
        {"keep frame", [this](auto&) { frame = app->mainWindow()->geometry(); }},
        {"close window", [this](auto&) { app->mainWindow()->close(); }},
        {"click status item",
         [this](auto&) { emit app->statusItem()->activated(QSystemTrayIcon::Trigger); }},
        {"reopen", [this](auto&) { app->reopen(); }},
        {"defaults", [this](auto& a) { mac.setDefaults(a[0], a[1], a[2]); }},
        {"add", [this](auto& a) { add(a); }},
        {"select", [this](auto& a) { Click(controller().signatureButtons().at(a[0].toUInt())); }},
        {"click", [this](auto& a) { Click(Child<QAbstractButton>(&controller(), a[0])); }},
        // A panel's button by its name, the first or the one at the index given.
        {"click in panel",
         [this](auto& a) {
             Click(panel().findChildren<QAbstractButton*>(a[0]).at(a.value(1).toInt()));
         }},
        // The click alone, before the loop turns.
        {"press in panel", [this](auto& a) { QTest::mouseClick(element(a[0]), Qt::LeftButton); }},
        {"type", [this](auto& a) { type(a[0]); }},
        {"return",
         [this](auto&) { QTest::keyClick(element<QLineEdit>("nameField"), Qt::Key_Return); }},
        {"answer", [this](auto& a) { platform.prompter.answerWith(a[0]); }},
        {"running",
         [this](auto& a) {
             const auto kind = ClientKindFromStoredText(a[0]);
             mac.setRunning(kind ? QStringList{BundleIdentifier(*kind)} : QStringList());
         }},
        {"finish", [this](auto&) { finishWork(); }},
        // The real command over the same Mac and service, answering yes.
        {"quillet",
         [this](auto& a) {
             const QStringList common{
                 "--root",   mac.root(),       "--home",    mac.home(),
                 "--bundle", mac.bundlePath(), "--service", service.url().toString(),
                 "--yes"};
             EXPECT_EQ(RunQuillet(common + a[0].split(' ')).exitCode, 0);
         }},
        // As the window looks at the store now and then.
        {"look", [this](auto&) { platform.mainQueue.advance(StoreWatcher::kInterval); }},
        {"serve", [this](auto& a) { service.setSignature(a[0], a[1]); }},
        {"refresh", [this](auto&) { engine().refreshFromServer(); }},
        {"count keys afresh", [this](auto&) { service.resetCounts(); }},
        {"cancel", [this](auto&) { emit form().cancelled(); }},
        {"create", [this](auto& a) { emit form().created(add({a[0]})); }},
        {"links fail", [this](auto&) { failLinks(); }},
        {"hide notice", [this](auto&) { controller().notificationView()->hide(); }},
        {"disengage", [this](auto&) { controller().disengage(); }},
        {"sync", [this](auto& a) { sync(a); }}};
    const std::map<QString, StoryView> views = {
        {"window", [this] { return window(); }},
        {"panel", [this] { return shown(); }},
        {"store", [this] { return store(); }},
        {"alerts", [this] { return TakeAlerts(platform.prompter); }},
        {"default button",
         [this] {
             const Alert& first = platform.prompter.shown().front();
             return first.buttons.value(first.defaultButtonIndex);
         }},
        {"menu", [this] { return menu(); }},
        {"preview", [this] { return panel().visiblePreview() ? previewed : "none"; }},
        // What is due for deletion goes first, as it would in the application's own event loop.
        {"preview program",
         [this] {
             QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
             return program && ::kill(pid_t(program), 0) == 0 ? "running" : "gone";
         }},
        // Thunderbird's prefs.js as the version the story kept under that name.
        {"thunderbird",
         [this] { return versions.value(ReadFakeFile(prefs).value_or(""), "other"); }},
        {"login item",
         [this] { return QString(ReadFakeFile(loginItem.entryPath()).value_or("")); }},
        {"application",
         [this] {
             MainWindow* window = app->mainWindow();
             return QStringList{
                 window->isVisible() ? "window shown" : "window hidden",
                 window->geometry() == frame ? "in place" : "moved",
                 controller().isEngaged() ? "engaged" : "not engaged",
                 Child<QPushButton>(&controller(), "restoreButton")->menu() == app->restoreMenu()
                     ? "restore menu on the window"
                     : "no restore menu"}
                 .join(" | ");
         }},
        {"notices", [this] { return delivered.join(" ; "); }},
        {"opened", [this] { return mac.workspaceLog().join(" ; "); }},
        {"asked", [this] {
             return QString::asprintf("%d quits, %d update checks, %d keys", terminations,
                                      updateChecks, service.keyRequests());
         }}};

    int updateChecks = 0;
    int terminations = 0;
    QStringList delivered;  // the user notifications, as "title: text"
    std::unique_ptr<MainController> windowAlone;
    std::unique_ptr<StoreWatcher> watcher;
    QString prefs;
    QMap<QByteArray, QString> versions;
    QRect frame;
    QString previewed;
    qint64 program = 0;
    const QByteArray previewProgram = qgetenv("QUILLET_PREVIEW_PROGRAM");
    XdgAutostartLoginItem loginItem{mac.home(), "quillet", "Quillet", "/opt/My Apps/Quillet"};
    ReleasePageUpdater updater{platform.workspace, platform.prompter,
                               QUrl("https://quillet.app/releases")};
    QSettings preferences{mac.homePath("Library/Preferences/app.quillet.Quillet.ini"),
                          QSettings::IniFormat};
    std::unique_ptr<AppDelegate> app;
};

TEST_P(MainControllerTest, Story) {
    PlayStory(QString("ui/window/%1.tsv").arg(GetParam()), steps, views);
}

INSTANTIATE_TEST_SUITE_P(Stories, MainControllerTest,
                         testing::Values("uninstalls", "edits", "launch", "restores",
                                         "restore_after_edit", "damaged_point", "preview"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace quillet
