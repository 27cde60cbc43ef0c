#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <tuple>

#include "app/core/StoreWatcher.h"
#include "app/ui/AddButtonView.h"
#include "app/ui/ExistingSignatureController.h"
#include "app/ui/MainController.h"
#include "app/ui/NewSignaturePanel.h"
#include "app/ui/NotificationView.h"
#include "app/ui/SignatureButtonView.h"
#include "tests/support/DataTable.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

using State = MainController::State;

class MainControllerTest : public testing::Test {
protected:
    QAbstractButton* button(const char* name) { return Child<QAbstractButton>(&ui.main(), name); }
    // The list's buttons as their symbols, in order.
    QString symbols() {
        QString texts;
        for (SignatureButtonView* button : ui.main().signatureButtons())
            texts += button->symbol();
        return texts;
    }
    // The panel of the signature on show.
    ExistingSignatureController& panel() { return *ui.main().existingSignatureController(); }
    template <typename T = QLabel>
    T* element(const char* name) {
        return Child<T>(&panel(), name);
    }
    // The panel's shown texts as one line; a switch as its text and [x] or [ ].
    QString shown() {
        QStringList texts{element<QLineEdit>("nameField")->text()};
        for (QWidget* widget : panel().findChildren<QWidget*>()) {
            if (const auto* text = qobject_cast<QLabel*>(widget); text && text->isVisible())
                texts << text->text();
            else if (const auto* box = qobject_cast<QCheckBox*>(widget); box && box->isVisible())
                texts << box->text() + (box->isChecked() ? " [x]" : " [ ]");
        }
        return texts.join(" | ");
    }
    void click(const char* name) { Click(element<QAbstractButton>(name)); }
    void select(std::size_t index) { Click(ui.main().signatureButtons()[index]); }
    SignaturePtr stored(SignatureId id) { return ui.engine().signature(id); }

    UiHarness ui;
};

// Uninstalling the selected signature asks first, on the next turn of the loop; cancelled, it
// changes nothing and starts no pass. Confirmed, the one now at its position is selected, or the
// first after the last. "Later" to closing the client leaves the signature in it: the list keeps
// it, marked as being removed, until a pass takes it out; with none left, the intro shows, and
// the new-signature form comes from it. The success notice follows only clean passes while the
// window's controller is engaged.
TEST_F(MainControllerTest, UninstallingSelectsTheNextSignatureOrTheIntroWhereTheFormStarts) {
    ui.installThunderbird();  // the signatures' client, so that only the question is asked
    std::vector<SignatureId> ids;
    for (const char* name : {"A", "B", "C"})
        ids.push_back(ui.addSignature({.name = name}));
    MainController& main = ui.main();
    struct Step {
        int selected;
        QStringList answers;
        QString shownAfter;
        int selectedAfter;
        int notices;  // the success notices delivered so far: after a clean pass only
    };
    for (const Step& step :
         {Step{1, {"Cancel"}, "ABC", 1, 0}, Step{1, {"Uninstall"}, "AC", 1, 1},
          Step{1, {"Uninstall"}, "A", 0, 2}, Step{0, {"Uninstall", "Later"}, "A", 0, 2}}) {
        SCOPED_TRACE(step.shownAfter.toStdString());
        const QChar name = symbols()[step.selected];
        if (step.answers.contains("Later"))
            ui.mac.setRunning({BundleIdentifier(ClientKind::thunderbird)});
        select(static_cast<size_t>(step.selected));
        const std::size_t passes = ui.engine().syncOutcomes().size();
        ui.platform.prompter.clear();
        for (const QString& answer : step.answers)
            ui.platform.prompter.answerWith(answer);
        QTest::mouseClick(button("uninstallButton"), Qt::LeftButton);
        EXPECT_TRUE(ui.platform.prompter.shown().empty());
        ui.finishWork();
        ASSERT_EQ(ui.platform.prompter.shown().size(), step.answers.size());
        EXPECT_EQ(ui.platform.prompter.shown().front().informativeText,
                  QString("Are you sure you want to uninstall signature \"%1\"?").arg(name));
        const bool confirmed = step.answers.front() == "Uninstall";
        EXPECT_EQ(ui.engine().syncOutcomes().size(), passes + (confirmed ? 1 : 0));
        const auto removed = ui.engine().signature(ids[static_cast<size_t>(name.unicode() - 'A')]);
        EXPECT_EQ(!removed || removed->pendingDeletion, confirmed);
        EXPECT_EQ(main.selectedSignatureIndex(), step.selectedAfter);
        EXPECT_EQ(main.state(), State::existingSignature);
        EXPECT_EQ(symbols(), step.shownAfter);
        EXPECT_EQ(ui.delivered.size(), step.notices);
        EXPECT_EQ(main.notificationView()->isVisible(), step.notices > 0);
    }
    EXPECT_EQ(main.notificationView()->text(), "Signatures were updated successfully");
    EXPECT_EQ(ui.delivered.front(), "Signatures Updated: Your email signatures have been updated.");
    EXPECT_EQ(ui.alertTitles().back(), "Some email clients need to be closed.");
    EXPECT_EQ(main.signatureButtons()[0]->status(), SignatureButtonView::Status::removing);
    EXPECT_EQ(element("statusLabel")->text(), "Being removed");
    EXPECT_FALSE(button("uninstallButton")->isVisible());
    ui.mac.setRunning({});
    ui.engine().syncSignatures({ids[0]});
    ui.finishWork();
    EXPECT_TRUE(main.signatureButtons().empty());
    EXPECT_EQ(main.state(), State::intro);
    EXPECT_FALSE(main.signatureList()->isVisible());

    // A form cancelled goes back to the intro; a created signature is selected once the form
    // reports it, and the list is usable again.
    const auto form = [&] { return qobject_cast<NewSignaturePanel*>(main.currentPanel()); };
    Click(main.addButton());
    ASSERT_TRUE(form());
    emit form()->cancelled();
    UiHarness::settle();
    EXPECT_EQ(main.state(), State::intro);
    ui.addSignature({.name = "Anna"});
    Click(main.addButton());
    ASSERT_EQ(main.state(), State::newSignature);
    EXPECT_FALSE(main.addButton()->isEnabled());
    EXPECT_FALSE(main.signatureButtons()[0]->isEnabled());
    const SignatureId id = ui.addSignature({.name = "Bob"});
    emit form()->created(id);
    UiHarness::settle();
    EXPECT_EQ(main.state(), State::existingSignature);
    EXPECT_EQ(symbols(), "AB");
    EXPECT_EQ(main.selectedSignatureIndex(), 1);
    EXPECT_EQ(panel().signatureId(), id);
    EXPECT_TRUE(main.addButton()->isEnabled());

    // Neither a pass with a problem (Postbox is not installed: the problems alert shows instead)
    // nor a clean one while the window's controller is not engaged shows or tells a success.
    main.notificationView()->hide();
    const qsizetype notices = ui.delivered.size();
    const SignatureId troubled = ui.addSignature({.name = "Carl", .client = ClientKind::postbox});
    ui.engine().signature(id)->markForReinstallation();
    ui.engine().syncSignatures({troubled, id});
    ui.finishWork();
    EXPECT_FALSE(main.notificationView()->isVisible());
    main.disengage();
    ui.engine().signature(id)->markForReinstallation();
    ui.engine().saveSignature(id, true, false);
    ui.finishWork();
    EXPECT_FALSE(main.notificationView()->isVisible());
    EXPECT_EQ(ui.delivered.size(), notices);
}

// The command beside the window renames, installs and uninstalls: the list follows at the next
// look at the store, the signature on show stays selected, and a name being typed stays.
TEST_F(MainControllerTest, TheListShowsWhatTheCommandChangedWithoutLosingTyping) {
    ui.installThunderbird();
    ui.addSignature({.name = "Anna"});
    ui.addSignature({.name = "Bob"});
    ui.service.setSignature("k2", "<p>Carl</p>");
    MainController& main = ui.main();
    click("editButton");
    QLineEdit* name = element<QLineEdit>("nameField");
    name->setText("Annabel");
    const auto look = [&] {
        ui.platform.mainQueue.advance(StoreWatcher::kInterval);
        UiHarness::settle();
    };

    ASSERT_EQ(ui.quillet({"rename", "Bob", "Robert"}).exitCode, 0);
    ASSERT_EQ(
        ui.quillet({"install", "--key", "k2", "--client", "Thunderbird", "--account", "jane@x.org"})
            .exitCode,
        0);
    look();
    EXPECT_EQ(symbols(), "ARS");
    EXPECT_EQ(main.selectedSignatureIndex(), 0);
    EXPECT_EQ(name->text(), "Annabel");

    // The signature on show goes: the next one shows, as after an uninstall here.
    click("editButton");
    ui.finishWork();  // the rename's pass
    ASSERT_EQ(ui.quillet({"uninstall", "Annabel"}).exitCode, 0);
    look();
    EXPECT_EQ(symbols(), "RS");
    EXPECT_EQ(main.selectedSignatureIndex(), 0);
    EXPECT_EQ(panel().signatureId(), ui.engine().visibleSignatureIds()[0]);
}

// Quit asks first; the links open through the workspace, and when no program could open one
// (here: the workspace's record became a folder) the person is told where to go instead.
TEST_F(MainControllerTest, ToolbarButtonsAskQuitAndOpenTheLinksOrSayWhereToGo) {
    Click(button("quitButton"));
    EXPECT_EQ(ui.terminations, 0);
    ui.platform.prompter.answerWith("Quit");
    Click(button("quitButton"));
    EXPECT_EQ(ui.terminations, 1);
    Click(button("updateButton"));
    EXPECT_EQ(ui.updateChecks, 1);
    Click(button("helpButton"));
    Click(button("feedbackButton"));
    const QStringList log = ui.mac.workspaceLog();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].endsWith("https://quillet.app/help")) << log[0].toStdString();
    EXPECT_TRUE(log[1].contains("mailto:feedback@quillet.app?subject=Feedback"));

    const QString record = ui.mac.rootPath("/var/run/workspace/log");
    ASSERT_TRUE(QFile::remove(record) && QDir().mkpath(record));
    ui.platform.prompter.clear();
    Click(button("helpButton"));
    ASSERT_EQ(ui.alertTitles(), QStringList{"Could not open the link."});
    EXPECT_TRUE(
        ui.platform.prompter.shown().front().informativeText.contains("https://quillet.app/help"));
}

// A key signature in a detected client, a file signature in one that is not, an earlier store's
// record without any selected installation, and one for Outlook where the new Outlook runs.
TEST_F(MainControllerTest, ShowsWhatIsStoredOfEachKindOfSignature) {
    ui.installThunderbird();
    ui.mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "1");
    ui.addSignature({.name = "Jane Doe", .lastUpdate = 1780000000});
    ui.engine().signature(ui.engine().signatureIds()[0])->insertForRepliesForwards = true;
    ui.addSignature({.name = "Mine",
                     .active = false,
                     .key = "",
                     .filePath = "/Users/jane/Signatures/work.html",
                     .fileName = "qlt090514030726",
                     .client = ClientKind::appleMail});
    ui.addSignature({.name = "émile", .key = "", .client = std::nullopt});
    ui.addSignature({.name = "Work",
                     .lastUpdate = 1780000000,
                     .client = ClientKind::outlook,
                     .accountEmail = ""});
    const QString updated =
        QLocale().toString(QDateTime::fromSecsSinceEpoch(1780000000), QLocale::LongFormat);
    std::vector<QStringList> expected = ReadDataTable("ui/signature-panel.txt");
    ASSERT_EQ(expected.size(), 4u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        select(i);
        EXPECT_EQ(shown().toStdString(),
                  expected[i].front().replace("UPDATED", updated).toStdString());
    }
    EXPECT_EQ(ui.alertTitles().back(), "New Outlook isn't supported by this app");
}

// One signature edited in turn. A colour is saved without a sync pass. A rename of blanks alone or
// of the same name after trimming changes nothing; a new name is saved and goes into the clients
// with one more pass. Renamed while Thunderbird runs and its closing is put off, it shows as
// pending there as soon as the pass ends. A refresh that arrives while the person types refills the
// panel but not the name being typed, which is committed when the panel shows another signature.
// Update fetches and reinstalls, on the next turn.
TEST_F(MainControllerTest, EditsSaveWhatThePersonChoseAndPassOnlyWhatChanged) {
    ui.installThunderbird();
    const SignatureId id = ui.addSignature({});
    ui.addSignature({.name = "Other", .key = "k2"});
    select(0);
    click("editButton");
    const auto colours = panel().findChildren<SignatureButtonView*>("colorButton");
    ASSERT_EQ(colours.size(), 13);
    std::size_t passes = ui.engine().syncOutcomes().size();
    Click(colours[5]);
    ui.finishWork();
    EXPECT_EQ(stored(id)->colorIndex, 5);
    EXPECT_EQ(ui.engine().syncOutcomes().size(), passes);

    QLineEdit* field = element<QLineEdit>("nameField");
    for (const auto& [typed, kept, saved] :
         {std::tuple<QString, QString, bool>{"   ", "Jane", false},
          {"  Jane ", "Jane", false},
          {"\tBob\t Smith \n", "Bob Smith", true}}) {
        SCOPED_TRACE(typed.toStdString());
        ui.finishWork();
        passes = ui.engine().syncOutcomes().size();
        if (!panel().isEditingVisible())
            click("editButton");
        field->selectAll();
        // Tabs and line feeds move the focus or end editing when typed: they come in pasted.
        field->insert(typed);
        QTest::keyClick(field, Qt::Key_Return);
        ui.finishWork();
        EXPECT_EQ(field->text(), kept);
        EXPECT_EQ(stored(id)->nameQe, kept);
        EXPECT_EQ(ui.engine().syncOutcomes().size(), passes + (saved ? 1 : 0));
    }
    EXPECT_TRUE(shown().contains("Thunderbird: jane@x.org | Installed in | - | Pending"));
    ui.mac.setRunning({BundleIdentifier(ClientKind::thunderbird)});
    ui.platform.prompter.answerWith("Later");
    ui.engine().signature(id)->nameQe = "Bobby";
    ui.engine().saveSignature(id, true, false);
    ui.finishWork();
    EXPECT_TRUE(shown().contains("jane@x.org | Installed in | Thunderbird | Pending"));
    ui.mac.setRunning({});

    click("editButton");
    field->selectAll();
    QTest::keyClicks(field, "Janet");
    ui.service.setSignature("k1", "<p>Jane, new</p>");
    ui.engine().refreshFromServer();
    ui.finishWork();
    ASSERT_EQ(stored(id)->mainTextQe, "<p>Jane, new</p>");
    EXPECT_EQ(field->text(), "Janet");
    EXPECT_EQ(stored(id)->nameQe, "Bobby");
    select(1);
    EXPECT_EQ(stored(id)->nameQe, "Janet");
    EXPECT_EQ(field->text(), "Other");

    select(0);
    ui.finishWork();
    passes = ui.engine().syncOutcomes().size();
    ui.service.resetCounts();
    QTest::mouseClick(element<QAbstractButton>("updateButton"), Qt::LeftButton);
    EXPECT_EQ(ui.service.keyRequests(), 0);
    ui.finishWork();
    EXPECT_EQ(ui.service.keyRequests(), 1);
    EXPECT_EQ(ui.engine().syncOutcomes().size(), passes + 1);
    EXPECT_TRUE(
        stored(id)->clientKindToPerformedInstallationsInfoMap.count(ClientKind::thunderbird));
}

}  // namespace
}  // namespace quillet
