#include "app/ui/NewSignatureController.h"
#include "app/ui/NewSignatureItems.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/FakeMacManaged.h"
#include "tests/support/SyncTestSupport.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

using State = NewSignatureForm::KeyMainTextState;

// The form over a fake Mac with Apple Mail, Outlook and Thunderbird. Sync passes are recorded, not
// run: what the form stored is what these tests look at.
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
            {ClientKind::thunderbird, MozillaAccountsInfo({"tom@example.com"}).accounts}};
        recordSyncPasses();
        service.setSignature("K1", "<p>One</p>");
        service.setSignature("K2", "<p>Two</p>");
        panel = std::make_unique<NewSignatureController>(engine());
        QObject::connect(panel.get(), &NewSignaturePanel::created, [this](SignatureId id) {
            created.push_back(id);
            panel->disengage();
        });
        QObject::connect(panel.get(), &NewSignaturePanel::cancelled,
                         [this] { panel->disengage(); });
        panel->show();
        panel->engage(4);
    }

    QComboBox* clients() { return Child<QComboBox>(panel.get(), "client"); }
    QLineEdit* keyField() { return Child<QLineEdit>(panel.get(), "key"); }
    const NewSignatureForm& form() { return panel->form(); }

    void pick(QComboBox* box, const QString& prefix) {
        const int index = box->findText(prefix, Qt::MatchStartsWith);
        ASSERT_GE(index, 0) << prefix.toStdString();
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QRect item = view->visualRect(box->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTest::qWait(20);
    }
    void typeKey(const QString& text) {
        QTest::mouseClick(keyField(), Qt::LeftButton);
        keyField()->selectAll();
        keyField()->insert(text);
        QTest::keyClick(keyField(), Qt::Key_Return);
        QTest::qWait(20);
    }
    void click(const char* name) {
        QTest::mouseClick(Child<QAbstractButton>(panel.get(), name), Qt::LeftButton);
        QTest::qWait(20);
    }
    void allowUserSignatures(bool allowed) {
        Plist configuration = ManagedConfigurationPlist({});
        configuration.node().set("AllowUserSignatures", Plist::boolean(allowed));
        WriteManagedConfiguration(mac, configuration);
    }

    std::unique_ptr<NewSignatureController> panel;
    std::vector<SignatureId> created;
};

void ChooseFileInPanel(QPushButton* field, const QString& path) {
    QTimer::singleShot(50, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(name);
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseClick(field, Qt::LeftButton);
}

// What the form refuses: the alert says why, and nothing is installed. Once the organisation allows
// the person's own signatures again, the same form installs the file.
TEST_F(NewSignatureControllerTest, RefusalsAlertAndInstallNothingUntilTheFormIsRight) {
    mac.writeFile(mac.home() + "/latin1.html", "<p>Fil\xE9</p>");  // Latin-1 "é"
    mac.writeFile(mac.home() + "/signature.html", "<p>Fil\xC3\xA9</p>");
    const QDateTime local(QDate(2031, 5, 6), QTime(9, 8, 7));
    platform.mainQueue.advance(local.toSecsSinceEpoch() - platform.mainQueue.now());
    service.setSignature("BLANK", " \n\t \n");
    const std::vector<QStringList> rows = ReadDataTable("ui/form-refusals.tsv");
    ASSERT_EQ(rows.size(), 6u);
    for (QStringList row : rows) {
        ASSERT_EQ(row.size(), 6) << row.join(" / ").toStdString();
        SCOPED_TRACE(row[0].toStdString());
        row.replaceInStrings(QRegularExpression("^-$"), "");
        panel->disengage();
        panel->engage(4);
        platform.prompter.clear();
        if (row[4] == "yes")
            allowUserSignatures(false);
        if (!row[1].isEmpty())
            pick(clients(), row[1]);
        if (!row[2].isEmpty())
            typeKey(row[2]);
        else
            click("mode");
        if (!row[3].isEmpty())
            ChooseFileInPanel(Child<QPushButton>(panel.get(), "file"), mac.home() + "/" + row[3]);
        EXPECT_TRUE(RunEventLoopUntil(
            [this] { return form().keyMainTextState() != State::requesting; }, 20));
        click("install");
        ASSERT_FALSE(alertTitles().isEmpty());
        EXPECT_EQ(alertTitles().back(), row[5]);
        EXPECT_TRUE(created.empty());
    }

    allowUserSignatures(true);
    // Two clicks that both arrive before the first is handled create one signature.
    QTest::mouseClick(Child<QPushButton>(panel.get(), "install"), Qt::LeftButton);
    click("install");
    ASSERT_EQ(created.size(), 1u);
    const SignaturePtr signature = engine().signature(created[0]);
    EXPECT_EQ(signature->fileNameQe, "qlt070809060531");  // named by its local creation time
    EXPECT_EQ(signature->filePathQe, mac.home() + "/signature.html");
    EXPECT_EQ(signature->localTextQe, "<p>Filé</p>");
    EXPECT_TRUE(signature->clientKindToSelectedInstallationsInfoMap.at(ClientKind::outlook)
                    .allAccountsSelected);
    ASSERT_TRUE(RunEventLoopUntil([this] { return !syncPasses.empty(); }, 5));
    EXPECT_EQ(syncPasses.front(), SignatureIds{created.front()});
}

// A key's answer fills only the form that asked, while that key is still in the field; an install
// clicked while keys load waits for the last one's.
TEST_F(NewSignatureControllerTest, OnlyTheLastKeysAnswerFillsTheFormAndTheSignature) {
    pick(clients(), "Microsoft Outlook");
    service.holdKey("K1");
    typeKey("K1");
    click("install");
    pick(clients(), "None");
    click("cancel");
    panel->engage(5);
    service.releaseKey("K1");
    QTest::qWait(600);
    EXPECT_EQ(form().keyMainTextState(), State::keyEmpty);
    EXPECT_TRUE(keyField()->text().isEmpty());
    EXPECT_TRUE(created.empty());

    service.resetCounts();
    pick(clients(), "Thunderbird");
    QCheckBox* forwards = Child<QCheckBox>(panel.get(), "forwards");
    QTest::mouseClick(forwards, Qt::LeftButton, {}, QPoint(8, forwards->height() / 2));
    pick(Child<QComboBox>(panel.get(), "account"), "tom@example.com");
    service.holdKey("K1");
    QTest::mouseClick(keyField(), Qt::LeftButton);
    QTest::keyClicks(keyField(), "K1");
    click("mode");
    ASSERT_TRUE(RunEventLoopUntil([this] { return !service.requestedKeys().empty(); }, 20));
    click("mode");
    service.setSignature("K2", "  <p>Two</p>\n");
    service.holdKey("K2");
    typeKey("K\t2\n");
    click("install");
    EXPECT_FALSE(keyField()->isEnabled());
    service.releaseKey("K1");
    QTest::qWait(500);
    EXPECT_TRUE(created.empty());
    service.releaseKey("K2");
    ASSERT_TRUE(RunEventLoopUntil([this] { return !created.empty(); }, 20));
    EXPECT_EQ(service.requestedKeys(), (std::vector<QString>{"K1", "K2"}));
    ASSERT_EQ(created.size(), 1u);
    const SignaturePtr signature = engine().signature(created[0]);
    EXPECT_EQ(signature->keyQe, "K2");
    EXPECT_EQ(signature->mainTextQe, "<p>Two</p>");  // trimmed as a refresh trims it
    EXPECT_EQ(signature->colorIndex, 5);
    EXPECT_TRUE(signature->insertForRepliesForwards);
    EXPECT_FALSE(signature->insertForForwards);
    EXPECT_TRUE(signature->clientKindToSelectedInstallationsInfoMap.at(ClientKind::thunderbird)
                    .accountEmailToPayloadMap.contains("tom@example.com"));
    EXPECT_TRUE(alertTitles().isEmpty()) << alertTitles().join("; ").toStdString();
}

// As in tests/data/ui/drop-down-items.tsv.
template <typename Item>
QString Line(const DropDown<Item>& dropDown) {
    QStringList texts;
    for (std::size_t i = 0; i < dropDown.items.size(); ++i) {
        const bool selected = dropDown.selectedIndex == static_cast<int>(i);
        texts << (selected ? ">" : "") + dropDown.items[i].text;
    }
    return texts.join(" | ") + (dropDown.enabled ? "" : " (off)");
}

TEST(NewSignatureItemsTest, ItemsForEveryChoiceAndDiscoveryState) {
    const ClientInfoMap infos = {
        {ClientKind::appleMail,
         std::make_shared<ClientInfo>("/System/Applications/Mail.app", "16.0", "3774")},
        {ClientKind::thunderbird,
         std::make_shared<ClientInfo>("/Applications/Thunderbird.app", "128.5.0", "128.5.0")}};
    const QStringList states{"cached", "discovering", "succeeded", "failed"};  // in enum order
    const std::vector<QStringList> rows = ReadDataTable("ui/drop-down-items.tsv");
    ASSERT_EQ(rows.size(), 24u);
    for (QStringList row : rows) {
        ASSERT_EQ(row.size(), 11) << row.join(" / ").toStdString();
        row.replaceInStrings(QRegularExpression("^-$"), "");
        std::vector<ClientKind> detected;
        for (const QString& kind : row[2].split(',', Qt::SkipEmptyParts))
            detected.push_back(*ClientKindFromStoredText(kind));
        std::map<ClientKind, AccountsInfo> accountsInfos;
        for (const auto& [kind, column] :
             {std::pair{ClientKind::appleMail, 4}, std::pair{ClientKind::thunderbird, 6}})
            accountsInfos[kind] =
                MozillaAccountsInfo(row[column + 1].split(',', Qt::SkipEmptyParts),
                                    static_cast<AccountsInfoStatus>(states.indexOf(row[column])));
        const FormClients clients{detected, infos, accountsInfos, row[3] == "yes"};
        const auto chosen = ClientKindFromStoredText(row[8]);
        const QString items = row[1] == "client"
                                  ? Line(BuildClientDropDown(clients, chosen))
                                  : Line(BuildAccountDropDown(clients, chosen, row[9]));
        EXPECT_EQ(items.toStdString(), row[10].toStdString()) << row[0].toStdString();
    }
}

}  // namespace
}  // namespace quillet
