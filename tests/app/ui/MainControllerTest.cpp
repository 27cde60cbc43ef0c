#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
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
    QString symbols() {
        QString texts;
        for (SignatureButtonView* button : ui.main().signatureButtons())
            texts += button->symbol();
        return texts;
    }
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

// Uninstall asks first, on the next turn of the loop; confirmed, the one now at its position is
// selected. Put off with "Later", the signature stays listed as being removed until a pass takes
// it out. A success notice follows only clean passes while the window's controller is engaged.
TEST_F(MainControllerTest, TheListFollowsUninstallsTheFormTheCommandAndTheToolbar) {
    ui.installThunderbird();
    std::vector<SignatureId> ids;
    for (const char* name : {"A", "B", "C"})
        ids.push_back(ui.addSignature({.name = name}));
    MainController& main = ui.main();
    struct Step {
        int selected;
        QStringList answers;
        QString shownAfter;
        int selectedAfter;
        int notices;
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

    // What the command beside the window changes shows at the next look at the store, without
    // losing the selection or a name being typed.
    ui.service.setSignature("k2", "<p>Carl</p>");
    select(0);
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

    click("editButton");
    ui.finishWork();  // the rename's pass
    ASSERT_EQ(ui.quillet({"uninstall", "Annabel"}).exitCode, 0);
    look();
    EXPECT_EQ(symbols(), "RS");
    EXPECT_EQ(main.selectedSignatureIndex(), 0);
    EXPECT_EQ(panel().signatureId(), ui.engine().visibleSignatureIds()[0]);

    // Quit asks first. When no program could open a link (the workspace's record became a
    // folder), the person is told where to go instead.
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

    // Postbox is not installed: that pass has a problem.
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

// A key signature, a file one in an undetected client, one without any installation, and one for
// Outlook where the new Outlook runs; the first is edited.
TEST_F(MainControllerTest, ShowsWhatIsStoredOfEachKindOfSignatureAndSavesEdits) {
    ui.installThunderbird();
    ui.mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "1");
    std::vector<QStringList> rows = ReadDataTable("ui/signature-panel.tsv");
    ASSERT_EQ(rows.size(), 4u);
    std::vector<SignatureId> ids;
    for (QStringList& row : rows) {
        ASSERT_EQ(row.size(), 10) << row.join(" / ").toStdString();
        row.replaceInStrings(QRegularExpression("^-$"), "");
        ids.push_back(
            ui.addSignature({row[0], row[1] == "yes", row[2], row[3], row[4], "<p>Jane</p>",
                             row[5].toLongLong(), ClientKindFromStoredText(row[6]), row[7]}));
        ui.engine().signature(ids.back())->insertForRepliesForwards = row[8] == "yes";
    }
    const QString updated =
        QLocale().toString(QDateTime::fromSecsSinceEpoch(1780000000), QLocale::LongFormat);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        select(i);
        EXPECT_EQ(shown().toStdString(), rows[i][9].replace("UPDATED", updated).toStdString());
    }
    EXPECT_EQ(ui.alertTitles().back(), "New Outlook isn't supported by this app");

    // A colour is saved without a pass; only a changed name (trimmed) is saved and passed. A
    // refresh while the person types keeps the name typed, committed when another signature shows.
    const SignatureId id = ids[0];
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
         {std::tuple<QString, QString, bool>{"   ", "Jane Doe", false},
          {"  Jane Doe ", "Jane Doe", false},
          {"\tBob\t Smith \n", "Bob Smith", true}}) {
        SCOPED_TRACE(typed.toStdString());
        ui.finishWork();
        passes = ui.engine().syncOutcomes().size();
        if (!panel().isEditingVisible())
            click("editButton");
        field->selectAll();
        // Tabs and line feeds cannot be typed: they come in pasted.
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
    EXPECT_EQ(field->text(), "Mine");

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
