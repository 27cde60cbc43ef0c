#include "tests/support/ui/UiHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include "app/core/StoreWatcher.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/ui/MainController.h"
#include "app/ui/PlaceholderNewSignaturePanel.h"
#include "common/Localization.h"
#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
    UiHarness::settle();
}

void PlayStory(const QString& path, const std::map<QString, StoryStep>& steps,
               const std::map<QString, StoryView>& views) {
    for (QStringList row : ReadDataTable(path)) {
        SCOPED_TRACE(row.join(" / ").toStdString());
        const QString verb = row.takeFirst();
        const auto shows = [&] { return views.at(row[0])() == row.value(1); };
        const QString seen = verb.startsWith("expect") ? views.at(row[0])() : QString();
        if (verb == "expect")
            EXPECT_EQ(seen.toStdString(), row.value(1).toStdString());
        else if (verb == "expect like")
            EXPECT_TRUE(QRegularExpression(row[1]).match(seen).hasMatch()) << seen.toStdString();
        else if (verb == "until")
            EXPECT_TRUE(RunEventLoopUntil(shows, 20));
        else if (verb == "until not")
            EXPECT_TRUE(RunEventLoopUntil([&] { return !shows(); }, 20));
        else if (verb == "wait")
            QTest::qWait(row[0].toInt());
        else
            steps.at(verb)(row);
        if (testing::Test::HasFatalFailure())
            return;
        if (!verb.startsWith("press"))
            UiHarness::settle();
    }
}

QString TakeAlerts(ScriptedPrompter& prompter) {
    QStringList texts;
    for (const Alert& alert : prompter.shown())
        texts << QStringList{alert.title, alert.informativeText}.join(": ");
    prompter.clear();
    return texts.join(" ; ").replace("\n", "\\n");
}

UiHarness::UiHarness() {
    InstallLocalizationBundle(platform.bundle.get());
}

UiHarness::~UiHarness() {
    _watcher.reset();
    _main.reset();
    closeEngine();
    InstallLocalizationBundle(nullptr);
}

CommandRun UiHarness::quillet(const QStringList& arguments) {
    return RunQuillet(QStringList{"--root", mac.root(), "--home", mac.home(), "--bundle",
                                  mac.bundlePath(), "--service", service.url().toString(),
                                  "--yes"} +
                      arguments);
}

SignatureId UiHarness::addSignature(const TestSignature& d) {
    // The service tells the engine which keys are active: it serves an active signature's key
    // before the save's refresh asks for it, and a disabled one's not at all.
    if (!d.key.isEmpty() && d.active)
        service.setSignature(d.key, d.mainText);
    else if (!d.key.isEmpty())
        service.removeSignature(d.key);
    const SignatureId id = engine().addSignature([&d](Signature& s) {
        s.nameQe = d.name;
        s.active = d.active;
        s.keyQe = d.key;
        s.filePathQe = d.filePath;
        s.fileNameQe = d.fileName;
        (d.key.isEmpty() ? s.localTextQe : s.mainTextQe) = d.mainText;
        s.lastUpdateUnixTimeQz = d.lastUpdate;
        if (d.client && d.accountEmail.isEmpty())
            SelectAllAccounts(s, *d.client);
        else if (d.client)
            SelectAccounts(s, *d.client, {d.accountEmail});
    });
    finishWork();
    return id;
}

QString UiHarness::installThunderbird() {
    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    accounts[ClientKind::thunderbird] = MozillaAccountsInfo({"jane@x.org"}).accounts;
    return WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                              FakeIdentityPrefsLines("1", "jane@x.org"));
}

void UiHarness::finishWork() {
    settle();
    finish();
    settle();
}

MainController& UiHarness::main() {
    if (!_main) {
        _main = std::make_unique<MainController>(engine(), *this, *this,
                                                 DefaultNewSignaturePanelFactory());
        _main->resize(1000, 700);
        _main->show();
        _main->engage();
        // As the application does: what other processes write into the store shows.
        _watcher = std::make_unique<StoreWatcher>(engine());
        settle();
    }
    return *_main;
}

void UiHarness::settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (timer.elapsed() < milliseconds);
}

}  // namespace quillet
