#include "app/ui/NewSignatureController.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include "app/ui/BusyIndicator.h"

#include "app/core/Core.h"
#include "platform/EventLoop.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/FakeMacManaged.h"

namespace quillet {
namespace {

using State = NewSignatureForm::KeyMainTextState;

// The form over an engine on a fake Mac with Apple Mail, Outlook and Thunderbird, the signature
// service on loopback, and a person who clicks and types. The sync passes that saving starts are
// recorded, not run: what the form stored is what these tests look at.
class NewSignatureControllerTest : public testing::Test, protected EngineHarness {
protected:
    NewSignatureControllerTest() {
        mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                               "3774");
        mac.addAppleMailData();
        mac.installClient(ClientKind::outlook, "16.78");
        mac.installClient(ClientKind::thunderbird, "128.5.0");
        mac.addMozillaProfile(ClientKind::thunderbird);
        EngineHarness::accounts = {
            {ClientKind::appleMail,
             {std::make_shared<AppleMailAccount>("ann@example.com", "U-1", "imap", std::nullopt)}},
            {ClientKind::outlook,
             {std::make_shared<OutlookAccount>("olga@example.com", std::nullopt, std::nullopt),
              std::make_shared<OutlookAccount>("otto@example.com", std::nullopt, std::nullopt)}},
            {ClientKind::thunderbird,
             {std::make_shared<MozillaBasedClientAccount>("tom@example.com", "id1",
                                                          std::nullopt)}}};
        recordSyncPasses();
        service.setSignature("K1", "<p>One</p>");
        service.setSignature("K2", "<p>Two</p>");

        panel = std::make_unique<NewSignatureController>(engine());
        QObject::connect(panel.get(), &NewSignaturePanel::created, [this](SignatureId id) {
            created.push_back(id);
            panel->disengage();  // as the main window does when it shows the new signature
        });
        QObject::connect(panel.get(), &NewSignaturePanel::cancelled, [this] {
            ++cancels;
            panel->disengage();
        });
        panel->resize(760, 640);
        panel->show();
        panel->engage(4);
    }

    template <typename T>
    T* child(const char* name) {
        T* widget = panel->findChild<T*>(name);
        EXPECT_TRUE(widget) << name;
        return widget;
    }
    QComboBox* clients() { return child<QComboBox>("client"); }
    QComboBox* accounts() { return child<QComboBox>("account"); }
    QLineEdit* keyField() { return child<QLineEdit>("key"); }
    const NewSignatureForm& form() { return panel->form(); }

    // Opens the drop-down and clicks the item with this text.
    void pick(QComboBox* box, const QString& text) {
        const int index = box->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QRect item = view->visualRect(box->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        settle();
    }
    void pickClient(const QString& prefix) {
        for (int i = 0; i < clients()->count(); ++i) {
            if (clients()->itemText(i).startsWith(prefix))
                return pick(clients(), clients()->itemText(i));
        }
        FAIL() << prefix.toStdString();
    }
    // Types into the key field and presses Return, which ends editing.
    void typeKey(const QString& text) {
        QTest::mouseClick(keyField(), Qt::LeftButton);
        keyField()->selectAll();
        QTest::keyClick(keyField(), Qt::Key_Backspace);
        QTest::keyClicks(keyField(), text);
        QTest::keyClick(keyField(), Qt::Key_Return);
        settle();
    }
    void click(const char* name) {
        QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton);
        settle();
    }
    void waitForKey() {
        EXPECT_TRUE(RunEventLoopUntil(
            [this] { return form().keyMainTextState() != State::requesting; }, 20));
        settle();
    }
    static void settle() { QTest::qWait(20); }

    QString writeHtml(const QString& name, const QByteArray& bytes) {
        const QString path = mac.folder() + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    SignaturePtr createdSignature() {
        EXPECT_EQ(created.size(), 1u);
        return created.empty() ? nullptr : engine().signature(created.front());
    }

    std::unique_ptr<NewSignatureController> panel;
    std::vector<SignatureId> created;
    int cancels = 0;
};

// While the key loads, the client set to None drops the install that the click asked for; and the
// answer to a form cancelled and opened again changes nothing in the new one.
TEST_F(NewSignatureControllerTest, ARequestEndingAfterNoneOrCancelChangesNothing) {
    pickClient("Microsoft Outlook");
    service.holdKey("K1");
    typeKey("K1");
    click("install");
    EXPECT_TRUE(form().attemptInstallOnKeyRequestEnd());
    pick(clients(), "None");
    EXPECT_FALSE(form().attemptInstallOnKeyRequestEnd());
    click("cancel");
    EXPECT_EQ(cancels, 1);
    panel->engage(5);
    service.releaseKey("K1");
    QTest::qWait(600);
    EXPECT_EQ(form().keyMainTextState(), State::keyEmpty);
    EXPECT_EQ(form().keyAccessory(), NewSignatureForm::KeyAccessory::none);
    EXPECT_TRUE(keyField()->text().isEmpty());
    EXPECT_TRUE(keyField()->isEnabled());
    EXPECT_TRUE(alertTitles().isEmpty());
    EXPECT_TRUE(created.empty());
}

// Opens the file panel with the field and chooses the file in it.
void ChooseFileInPanel(QPushButton* field, const QString& path) {
    QTimer::singleShot(50, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        // Typed into the panel's file name field, as a person would, and confirmed.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(name);
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseClick(field, Qt::LeftButton);
}

Plist AllowingUserSignatures(bool allowed) {
    Plist configuration = ManagedConfigurationPlist({});
    configuration.node().set("AllowUserSignatures", Plist::boolean(allowed));
    return configuration;
}

// What the form refuses: the alert says why, and nothing is installed. The organisation's
// configuration is read at each install, as the command reads it; once it allows the person's
// own signatures again, the same form installs the file, for all of Outlook's accounts.
TEST_F(NewSignatureControllerTest, RefusalsAlertAndInstallNothingUntilTheFormIsRight) {
    const QString latin1 = writeHtml("latin1.html", "<p>Fil\xE9</p>");  // Latin-1 "é"
    const QString utf8 = writeHtml("signature.html", "<p>Fil\xC3\xA9</p>");
    const QDateTime local(QDate(2031, 5, 6), QTime(9, 8, 7));
    platform.mainQueue.advance(local.toSecsSinceEpoch() - platform.mainQueue.now());
    service.setSignature("BLANK", " \n\t \n");
    // The client, then a key typed, or else file mode with the file chosen (if any).
    struct Case {
        QString client, key, file;
        QStringList alerts;
        bool managedRefuses = false;
    };
    const QString outlook = "Microsoft Outlook", notFound = "Signature key not found.";
    for (const Case& c : {Case{{}, "K1", {}, {"No email client selected."}},
                          Case{"Apple Mail", "K1", {}, {"No email account selected."}},
                          Case{outlook, "BLANK", {}, {notFound, notFound}},  // only blanks
                          Case{outlook, {}, {}, {"No HTML file selected."}},
                          Case{outlook, {}, latin1, {"Could not load the HTML file."}},
                          Case{outlook,
                               {},
                               utf8,
                               {"Your organisation manages the signatures on this computer."},
                               true}}) {
        SCOPED_TRACE(c.alerts.front().toStdString());
        panel->disengage();
        panel->engage(4);
        platform.prompter.clear();
        if (c.managedRefuses)
            WriteManagedConfiguration(mac, AllowingUserSignatures(false));
        if (!c.client.isEmpty())
            pickClient(c.client);
        if (!c.key.isEmpty())
            typeKey(c.key);
        else
            click("mode");
        if (!c.file.isEmpty())
            ChooseFileInPanel(child<QPushButton>("file"), c.file);
        waitForKey();
        EXPECT_EQ(form().keyAccessory() == NewSignatureForm::KeyAccessory::cross, c.key == "BLANK");
        click("install");
        EXPECT_EQ(alertTitles(), c.alerts);
        EXPECT_TRUE(created.empty());
    }

    WriteManagedConfiguration(mac, AllowingUserSignatures(true));
    EXPECT_EQ(child<QPushButton>("file")->text(), utf8);
    // Outlook's accounts are listed, none looks chosen: that means all of them.
    EXPECT_EQ(accounts()->currentIndex(), -1);
    EXPECT_EQ(accounts()->itemText(0), "olga@example.com");
    click("install");
    const SignaturePtr signature = createdSignature();
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature->fileNameQe, "qlt070809060531");  // named by its local creation time
    EXPECT_EQ(signature->filePathQe, utf8);
    EXPECT_EQ(signature->localTextQe, "<p>Filé</p>");
    EXPECT_EQ(signature->lastUpdateUnixTimeQz, local.toSecsSinceEpoch());
    EXPECT_TRUE(signature->clientKindToSelectedInstallationsInfoMap.at(ClientKind::outlook)
                    .allAccountsSelected);
    ASSERT_TRUE(RunEventLoopUntil([this] { return !syncPasses.empty(); }, 5));
    EXPECT_EQ(syncPasses.front(), SignatureIds{created.front()});
}

// An install clicked while the key is requested waits for the request, and only for the
// request of the key now in the field: an earlier key's answer never gives the signature its text.
TEST_F(NewSignatureControllerTest, InstallDuringTheRequestInstallsTheLastKeysText) {
    pickClient("Microsoft Outlook");
    service.holdKey("K1");
    // Key A typed, then the mode button: leaving the field requests A on the way to file mode.
    QTest::mouseClick(keyField(), Qt::LeftButton);
    QTest::keyClicks(keyField(), "K1");
    click("mode");
    // The request reaches the service over loopback in its own time.
    ASSERT_TRUE(RunEventLoopUntil([this] { return !service.requestedKeys().empty(); }, 20));
    EXPECT_EQ(service.requestedKeys(), std::vector<QString>{"K1"});
    EXPECT_EQ(form().keyOrFileMode(), NewSignatureForm::KeyOrFileMode::file);
    // Back to the key: the field starts empty while A's request is still running.
    click("mode");
    EXPECT_TRUE(keyField()->text().isEmpty());
    EXPECT_EQ(form().keyMainTextState(), State::keyEmpty);
    // Key B, and "Install Signature", whose click ends the editing: B is requested too.
    service.setSignature("K2", "  <p>Two</p>\n");
    service.holdKey("K2");
    QTest::mouseClick(keyField(), Qt::LeftButton);
    QTest::keyClicks(keyField(), "K2");
    click("install");
    EXPECT_EQ(form().keyMainTextState(), State::requesting);
    EXPECT_TRUE(child<BusyIndicator>("keySpinner")->isVisible());
    EXPECT_FALSE(keyField()->isEnabled());
    EXPECT_TRUE(form().attemptInstallOnKeyRequestEnd());
    // A answers first.
    service.releaseKey("K1");
    QTest::qWait(500);
    EXPECT_TRUE(created.empty());
    EXPECT_EQ(form().keyMainTextState(), State::requesting);
    service.releaseKey("K2");
    ASSERT_TRUE(RunEventLoopUntil([this] { return !created.empty(); }, 20));
    const SignaturePtr signature = createdSignature();
    EXPECT_EQ(signature->keyQe, "K2");
    EXPECT_EQ(signature->mainTextQe, "<p>Two</p>");  // trimmed as a refresh trims it
    EXPECT_EQ(signature->colorIndex, 4);
    EXPECT_TRUE(alertTitles().isEmpty()) << alertTitles().join("; ").toStdString();
}

TEST_F(NewSignatureControllerTest, TheOptionsFollowTheClientIntoTheOneSignatureCreated) {
    struct Case {
        const char* client;
        bool legend, replies, forwards;
        QString repliesText;
    };
    const Case cases[] = {
        {"Apple Mail", false, false, false, ""},
        {"Microsoft Outlook", true, true, false, "Insert for replies/forwards"},
        {"Thunderbird", true, true, true, "Insert for replies"},
    };
    for (const Case& c : cases) {
        pickClient(c.client);
        auto* replies = child<QCheckBox>("replies");
        EXPECT_EQ(replies->isVisible(), c.replies) << c.client;
        EXPECT_EQ(child<QCheckBox>("forwards")->isVisible(), c.forwards) << c.client;
        if (c.replies) {
            EXPECT_EQ(replies->text(), c.repliesText);
            EXPECT_TRUE(replies->isChecked());
        }
    }
    // Thunderbird's switches go into the signature.
    QCheckBox* forwards = child<QCheckBox>("forwards");
    QTest::mouseClick(forwards, Qt::LeftButton, {}, QPoint(8, forwards->height() / 2));
    EXPECT_FALSE(forwards->isChecked());
    pick(accounts(), accounts()->itemText(0));
    // Pasted from a mail: a tab inside and a line break at the end, neither of them the key's.
    QTest::mouseClick(keyField(), Qt::LeftButton);
    keyField()->insert("K\t1\n");
    QTest::keyClick(keyField(), Qt::Key_Return);
    waitForKey();
    EXPECT_EQ(service.requestedKeys(), std::vector<QString>{"K1"});
    EXPECT_EQ(keyField()->text(), "K1");
    EXPECT_EQ(child<QLabel>("keyAccessory")->text(), "✓");
    // Two clicks that both arrive before the first is handled create one signature.
    QTest::mouseClick(child<QPushButton>("install"), Qt::LeftButton);
    click("install");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(engine().visibleSignatureIds().size(), 1u);
    EXPECT_TRUE(createdSignature()->insertForRepliesForwards);
    EXPECT_FALSE(createdSignature()->insertForForwards);
    EXPECT_TRUE(createdSignature()
                    ->clientKindToSelectedInstallationsInfoMap.at(ClientKind::thunderbird)
                    .accountEmailToPayloadMap.contains("tom@example.com"));
}

}  // namespace
}  // namespace quillet
