#include "app/ui/NewSignatureController.h"
#include "app/ui/NewSignatureItems.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
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

// The form over a fake Mac with Apple Mail, Outlook and Thunderbird, at 09:08:07 local time on
// 6 May 2031, and its stories (tests/data/ui/form). Sync passes are recorded, not run: what the
// form stored is what these tests look at.
class NewSignatureControllerTest : public testing::TestWithParam<const char*>,
                                   protected EngineHarness {
protected:
    NewSignatureControllerTest() {
        mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                               "3774");
        mac.addAppleMailData();
        mac.installClient(ClientKind::outlook, "16.78");
        mac.installClient(ClientKind::thunderbird, "128.5.0");
        mac.addMozillaProfile(ClientKind::thunderbird);
        mac.writeFile(mac.home() + "/latin1.html", "<p>Fil\xE9</p>");  // Latin-1 "é"
        mac.writeFile(mac.home() + "/signature.html", "<p>Fil\xC3\xA9</p>");
        const QDateTime local(QDate(2031, 5, 6), QTime(9, 8, 7));
        platform.mainQueue.advance(local.toSecsSinceEpoch() - platform.mainQueue.now());
        EngineHarness::accounts = {
            {ClientKind::appleMail,
             {std::make_shared<AppleMailAccount>("ann@example.com", "U-1", "imap", std::nullopt)}},
            {ClientKind::outlook,
             {std::make_shared<OutlookAccount>("olga@example.com", std::nullopt, std::nullopt),
              std::make_shared<OutlookAccount>("otto@example.com", std::nullopt, std::nullopt)}},
            {ClientKind::thunderbird, MozillaAccountsInfo({"tom@example.com"}).accounts}};
        recordSyncPasses();
        service.setSignature("BLANK", " \n\t \n");
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

    QLineEdit* keyField() { return Child<QLineEdit>(panel.get(), "key"); }
    void pick(const QString& name, const QString& prefix) {
        auto* box = Child<QComboBox>(panel.get(), name);
        const int index = box->findText(prefix, Qt::MatchStartsWith);
        ASSERT_GE(index, 0) << prefix.toStdString();
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QRect item = view->visualRect(box->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTest::qWait(20);
    }
    // Tabs and line feeds come pasted; a key finished with Return.
    void typeKey(const QString& text, bool finished) {
        QTest::mouseClick(keyField(), Qt::LeftButton);
        keyField()->selectAll();
        keyField()->insert(QString(text).replace("\\t", "\t").replace("\\n", "\n"));
        if (finished)
            QTest::keyClick(keyField(), Qt::Key_Return);
        QTest::qWait(20);
    }
    // Near the left edge: a switch's box, not its text.
    void click(const QString& name) {
        auto* button = Child<QAbstractButton>(panel.get(), name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }
    void allowUserSignatures(bool allowed) {
        Plist configuration = Plist::dictionary();
        configuration.node().set("AllowUserSignatures", Plist::boolean(allowed));
        WriteManagedConfiguration(mac, configuration);
    }
    void chooseFile(const QString& name) {
        QTimer::singleShot(50, [path = mac.home() + "/" + name] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_TRUE(field);
            field->setText(path);
            QTest::keyClick(field, Qt::Key_Return);
        });
        click("file");
    }
    // Each signature the form created: key, text, file, file name, own text, colour, whether
    // for replies and forwards, the clients and accounts chosen (* all), and whether a pass of
    // it alone was asked for.
    QString signatures() {
        QStringList lines;
        for (SignatureId id : created) {
            const SignaturePtr s = engine().signature(id);
            QStringList chosen;
            for (const auto& [kind, info] : s->clientKindToSelectedInstallationsInfoMap) {
                QStringList emails;
                for (const auto& [email, payload] : info.accountEmailToPayloadMap)
                    emails << email;
                chosen << StoredText(kind) + ":" +
                              (info.allAccountsSelected ? "*" : emails.join(","));
            }
            lines << QString("%1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10")
                         .arg(s->keyQe, s->mainTextQe,
                              QString(s->filePathQe).replace(mac.home(), "~"), s->fileNameQe,
                              s->localTextQe, QString::number(s->colorIndex),
                              s->insertForRepliesForwards ? "replies" : "-",
                              s->insertForForwards ? "forwards" : "-", chosen.join(" "),
                              std::ranges::count(syncPasses, SignatureIds{id}) ? "passed" : "-");
        }
        return lines.join(" ; ");
    }
    std::unique_ptr<NewSignatureController> panel;
    std::vector<SignatureId> created;
    const std::map<QString, StoryStep> steps = {
        {"engage", [this](auto& a) { panel->engage(a[0].toInt()); }},
        {"organisation allows", [this](auto& a) { allowUserSignatures(a[0] == "yes"); }},
        {"pick", [this](auto& a) { pick(a[0], a[1]); }},
        {"type key", [this](auto& a) { typeKey(a[0], true); }},
        {"start typing key", [this](auto& a) { typeKey(a[0], false); }},
        {"click", [this](auto& a) { click(a[0]); }},
        {"press", [this](auto& a) { click(a[0]); }},
        {"choose file", [this](auto& a) { chooseFile(a[0]); }},
        {"hold", [this](auto& a) { service.holdKey(a[0]); }},
        {"release", [this](auto& a) { service.releaseKey(a[0]); }},
        {"serve",
         [this](auto& a) { service.setSignature(a[0], QString(a[1]).replace("\\n", "\n")); }},
        {"count keys afresh", [this](auto&) { service.resetCounts(); }}};
    const std::map<QString, StoryView> views = {
        {"alerts", [this] { return TakeAlerts(platform.prompter); }},
        {"created", [this] { return signatures(); }},
        {"state",
         [this] {
             static const QStringList states{"empty", "requesting", "failed", "received"};
             return states[static_cast<int>(panel->form().keyMainTextState())];
         }},
        {"key",
         [this] {
             return QString("%1 \"%2\"")
                 .arg(keyField()->isEnabled() ? "editable" : "locked", keyField()->text());
         }},
        {"asked", [this] {
             const std::vector<QString> keys = service.requestedKeys();
             return QStringList(keys.begin(), keys.end()).join(",");
         }}};
};

TEST_P(NewSignatureControllerTest, Story) {
    PlayStory(QString("ui/form/%1.tsv").arg(GetParam()), steps, views);
}

INSTANTIATE_TEST_SUITE_P(Stories, NewSignatureControllerTest, testing::Values("refusals", "keys"),
                         [](const auto& info) { return std::string(info.param); });

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
