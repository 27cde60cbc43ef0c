#include <gtest/gtest.h>

#include <tuple>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/ui/ExistingSignatureController.h"
#include "app/ui/MainController.h"
#include "app/ui/SignatureButtonView.h"
#include "tests/support/DataTable.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

class ExistingSignatureControllerTest : public testing::Test {
protected:
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

// A key signature in a detected client, a file signature in one that is not, an earlier store's
// record without any selected installation, and one for Outlook where the new Outlook runs.
TEST_F(ExistingSignatureControllerTest, ShowsWhatIsStoredOfEachKindOfSignature) {
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
TEST_F(ExistingSignatureControllerTest, EditsSaveWhatThePersonChoseAndPassOnlyWhatChanged) {
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
