#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

// The main window's stories (tests/data/ui/window): what the person or another program does, and
// what is then seen of the window, the store or the world outside.
class MainControllerTest : public testing::TestWithParam<const char*> {
protected:
    ExistingSignatureController& panel() { return *ui.main().existingSignatureController(); }
    template <typename T = QAbstractButton>
    T* element(const QString& name) {
        return Child<T>(&panel(), name);
    }
    // The list (the selected one in brackets, ~ being removed, - unusable), the panel, the
    // success notice, and how many notices and sync passes there were.
    QString window() {
        MainController& main = ui.main();
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
            const QString stored = ui.engine().signature(*panel().signatureId())->nameQe;
            const QString typed = element<QLineEdit>("nameField")->text();
            shows = "shows " + stored + (typed == stored ? "" : ", typed " + typed);
        }
        return QStringList{
            main.signatureList()->isVisible() ? list : "no list", shows,
            main.notificationView()->isVisible() ? main.notificationView()->text() : "no notice",
            QString("%1 delivered").arg(ui.delivered.size()),
            QString("%1 passes").arg(ui.engine().syncOutcomes().size())}
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
        for (SignatureId id : ui.engine().signatureIds()) {
            const SignaturePtr s = ui.engine().signature(id);
            QString line = s->nameQe + (s->pendingDeletion ? "~" : "") +
                           QString(" %1 ").arg(s->colorIndex) + s->mainTextQe;
            for (const auto& [kind, installed] : s->clientKindToPerformedInstallationsInfoMap)
                line += " in " + StoredText(kind);
            lines << line;
        }
        return lines.join(" ; ");
    }
    void add(const QStringList& a) {
        const auto cell = [&](int i) { return a.value(i) == "-" ? QString() : a.value(i); };
        const SignatureId id = ui.addSignature(
            a.size() == 1
                ? TestSignature{.name = a[0]}
                : TestSignature{a[0], a[1] == "yes", cell(2), cell(3), cell(4), "<p>Jane</p>",
                                cell(5).toLongLong(), ClientKindFromStoredText(a[6]), cell(7)});
        if (a.size() > 8)
            ui.engine().signature(id)->insertForRepliesForwards = a[8] == "yes";
    }
    NewSignaturePanel& form() {
        return *qobject_cast<NewSignaturePanel*>(ui.main().currentPanel());
    }
    void sync(const QStringList& names) {
        SignatureIds ids;
        for (SignatureId id : ui.engine().signatureIds()) {
            if (names.contains(ui.engine().signature(id)->nameQe)) {
                ui.engine().signature(id)->markForReinstallation();
                ids.push_back(id);
            }
        }
        ui.engine().syncSignatures(ids);
    }
    void type(const QString& text) {  // tabs and line feeds cannot be typed: they come pasted
        if (!panel().isEditingVisible())
            Click(element("editButton"));
        auto* field = element<QLineEdit>("nameField");
        field->selectAll();
        field->insert(QString(text).replace("\\t", "\t").replace("\\n", "\n"));
    }
    void failLinks() {  // no program can open one
        const QString record = ui.mac.rootPath("/var/run/workspace/log");
        ASSERT_TRUE(QFile::remove(record) && QDir().mkpath(record));
    }
    void look() {  // as the window looks at the store now and then
        ui.platform.mainQueue.advance(StoreWatcher::kInterval);
        UiHarness::settle();
    }
    void running(const QString& client) {
        const auto kind = ClientKindFromStoredText(client);
        ui.mac.setRunning(kind ? QStringList{BundleIdentifier(*kind)} : QStringList());
    }

    const std::map<QString, StoryStep> steps = {
        {"thunderbird", [this](auto&) { ui.installThunderbird(); }},
        {"defaults", [this](auto& a) { ui.mac.setDefaults(a[0], a[1], a[2]); }},
        {"add", [this](auto& a) { add(a); }},
        {"select", [this](auto& a) { Click(ui.main().signatureButtons().at(a[0].toUInt())); }},
        {"click", [this](auto& a) { Click(Child<QAbstractButton>(&ui.main(), a[0])); }},
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
        {"answer", [this](auto& a) { ui.platform.prompter.answerWith(a[0]); }},
        {"running", [this](auto& a) { running(a[0]); }},
        {"finish", [this](auto&) { ui.finishWork(); }},
        {"quillet", [this](auto& a) { EXPECT_EQ(ui.quillet(a[0].split(' ')).exitCode, 0); }},
        {"look", [this](auto&) { look(); }},
        {"serve", [this](auto& a) { ui.service.setSignature(a[0], a[1]); }},
        {"refresh", [this](auto&) { ui.engine().refreshFromServer(); }},
        {"count keys afresh", [this](auto&) { ui.service.resetCounts(); }},
        {"cancel", [this](auto&) { emit form().cancelled(); }},
        {"create", [this](auto& a) { emit form().created(ui.addSignature({.name = a[0]})); }},
        {"links fail", [this](auto&) { failLinks(); }},
        {"hide notice", [this](auto&) { ui.main().notificationView()->hide(); }},
        {"disengage", [this](auto&) { ui.main().disengage(); }},
        {"sync", [this](auto& a) { sync(a); }}};
    const std::map<QString, StoryView> views = {
        {"window", [this] { return window(); }},
        {"panel", [this] { return shown(); }},
        {"store", [this] { return store(); }},
        {"alerts", [this] { return TakeAlerts(ui.platform.prompter); }},
        {"notices", [this] { return ui.delivered.join(" ; "); }},
        {"opened", [this] { return ui.mac.workspaceLog().join(" ; "); }},
        {"asked", [this] {
             return QString::asprintf("%d quits, %d update checks, %d keys", ui.terminations,
                                      ui.updateChecks, ui.service.keyRequests());
         }}};

    UiHarness ui;
};

TEST_P(MainControllerTest, Story) {
    PlayStory(QString("ui/window/%1.tsv").arg(GetParam()), steps, views);
}

INSTANTIATE_TEST_SUITE_P(Stories, MainControllerTest, testing::Values("uninstalls", "edits"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace quillet
