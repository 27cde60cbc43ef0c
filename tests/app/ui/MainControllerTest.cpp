#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/core/StoreWatcher.h"
#include "app/ui/AddButtonView.h"
#include "app/ui/ExistingSignatureController.h"
#include "app/ui/MainController.h"
#include "app/ui/NewSignaturePanel.h"
#include "app/ui/NotificationView.h"
#include "app/ui/SignatureButtonView.h"
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

    UiHarness ui;
};

// Without signatures the intro shows, and a form cancelled from it goes back to it; a created
// signature is selected once the form reports it, and the list is usable again.
TEST_F(MainControllerTest, TheFormComesFromTheIntroAndGoesToTheCreatedSignature) {
    MainController& main = ui.main();
    EXPECT_EQ(main.state(), State::intro);
    EXPECT_FALSE(main.signatureList()->isVisible());
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
    EXPECT_EQ(main.existingSignatureController()->signatureId(), id);
    EXPECT_TRUE(main.addButton()->isEnabled());
}

// Uninstalling the selected signature asks first, on the next turn of the loop; cancelled, it
// changes nothing and starts no pass. Confirmed, the one now at its position is selected, or the
// first after the last. "Later" to closing the client leaves the signature in it: the list keeps
// it, marked as being removed, until a pass takes it out; with none left, the intro shows.
TEST_F(MainControllerTest, UninstallingTheSelectedSignatureSelectsTheNextOne) {
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
    };
    for (const Step& step :
         {Step{1, {"Cancel"}, "ABC", 1}, Step{1, {"Uninstall"}, "AC", 1},
          Step{1, {"Uninstall"}, "A", 0}, Step{0, {"Uninstall", "Later"}, "A", 0}}) {
        SCOPED_TRACE(step.shownAfter.toStdString());
        const QChar name = symbols()[step.selected];
        if (step.answers.contains("Later"))
            ui.mac.setRunning({BundleIdentifier(ClientKind::thunderbird)});
        Click(main.signatureButtons()[static_cast<size_t>(step.selected)]);
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
    }
    EXPECT_EQ(ui.alertTitles().back(), "Some email clients need to be closed.");
    EXPECT_EQ(main.signatureButtons()[0]->status(), SignatureButtonView::Status::removing);
    EXPECT_EQ(Child<QLabel>(main.existingSignatureController(), "statusLabel")->text(),
              "Being removed");
    EXPECT_FALSE(button("uninstallButton")->isVisible());
    ui.mac.setRunning({});
    ui.engine().syncSignatures({ids[0]});
    ui.finishWork();
    EXPECT_TRUE(main.signatureButtons().empty());
    EXPECT_EQ(main.state(), State::intro);
}

// The command beside the window renames, installs and uninstalls: the list follows at the next
// look at the store, the signature on show stays selected, and a name being typed stays.
TEST_F(MainControllerTest, TheListShowsWhatTheCommandChangedWithoutLosingTyping) {
    ui.installThunderbird();
    ui.addSignature({.name = "Anna"});
    ui.addSignature({.name = "Bob"});
    ui.service.setSignature("k2", "<p>Carl</p>");
    MainController& main = ui.main();
    ExistingSignatureController* panel = main.existingSignatureController();
    Click(Child<QAbstractButton>(panel, "editButton"));
    auto* name = panel->findChild<QLineEdit*>("nameField");
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
    Click(Child<QAbstractButton>(panel, "editButton"));
    ui.finishWork();  // the rename's pass
    ASSERT_EQ(ui.quillet({"uninstall", "Annabel"}).exitCode, 0);
    look();
    EXPECT_EQ(symbols(), "RS");
    EXPECT_EQ(main.selectedSignatureIndex(), 0);
    EXPECT_EQ(main.existingSignatureController()->signatureId(),
              ui.engine().visibleSignatureIds()[0]);
}

// Quit asks first; the links open through the workspace, and when no program could open one
// (here: the workspace's record became a folder) the person is told where to go instead.
TEST_F(MainControllerTest, ToolbarButtonsAskQuitAndOpenTheLinksOrSayWhereToGo) {
    Click(button("quitButton"));
    EXPECT_EQ(ui.delegate.terminations, 0);
    ui.platform.prompter.answerWith("Quit");
    Click(button("quitButton"));
    EXPECT_EQ(ui.delegate.terminations, 1);
    Click(button("updateButton"));
    EXPECT_EQ(ui.delegate.updateChecks, 1);
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

// The strip and the user notification follow a pass that wrote the clients without problems,
// and only while the window's controller is engaged.
TEST_F(MainControllerTest, SuccessNoticeOnlyAfterACleanPassWhileEngaged) {
    ui.installThunderbird();
    const SignatureId clean = ui.addSignature({.name = "Anna"});
    // Postbox is not installed: the pass reports it.
    const SignatureId troubled = ui.addSignature({.name = "Bob", .client = ClientKind::postbox});
    MainController& main = ui.main();

    ui.engine().saveSignature(troubled, true, false);
    ui.finishWork();
    EXPECT_FALSE(main.notificationView()->isVisible());
    EXPECT_TRUE(ui.notifier.delivered.empty());
    EXPECT_FALSE(ui.platform.prompter.shown().empty());  // the problems alert instead

    ui.engine().saveSignature(clean, true, false);
    ui.finishWork();
    EXPECT_TRUE(main.notificationView()->isVisible());
    EXPECT_EQ(main.notificationView()->text(), "Signatures were updated successfully");
    EXPECT_EQ(ui.notifier.delivered,
              std::vector<QString>{"Signatures Updated: Your email signatures have been updated."});

    main.disengage();
    main.notificationView()->hide();
    ui.engine().signature(clean)->markForReinstallation();
    ui.engine().saveSignature(clean, true, false);
    ui.finishWork();
    EXPECT_FALSE(main.notificationView()->isVisible());
    EXPECT_EQ(ui.notifier.delivered.size(), 1u);
}

}  // namespace
}  // namespace quillet
