#include "tests/support/ui/UiHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include "app/core/StoreWatcher.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/ui/MainController.h"
#include "app/ui/PlaceholderNewSignaturePanel.h"
#include "common/Localization.h"
#include "platform/EventLoop.h"

namespace quillet {

UiHarness::UiHarness() {
    InstallLocalizationBundle(platform.bundle.get());
}

UiHarness::~UiHarness() {
    _watcher.reset();
    _main.reset();
    _core.reset();
    InstallLocalizationBundle(nullptr);
}

Core& UiHarness::core() {
    if (!_core) {
        Core::Options options;
        options.serviceUrl = service.url();
        options.console = [](const QString&) {};
        QString error;
        _core = Core::create(platform.platform(), options, &error);
        if (!_core) {
            ADD_FAILURE() << error.toStdString();
        } else if (_core->clientKinds().size() == 1 &&
                   _core->clientKinds().front() == ClientKind::thunderbird) {
            _core->SetDiscoveredAccounts(ClientKind::thunderbird,
                                         Accounts{std::make_shared<MozillaBasedClientAccount>(
                                             "jane@x.org", "1", std::nullopt)},
                                         false);
        }
    }
    return *_core;
}

SignatureCommand UiHarness::quillet(const QStringList& arguments) {
    QProcess process;
    process.start(QUILLET_QUILLET_PATH,
                  QStringList{"--root", mac.root(), "--home", mac.home(), "--bundle",
                              mac.bundlePath(), "--service", service.url().toString(), "--yes"} +
                      arguments);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

SignatureId UiHarness::addSignature(const TestSignature& d) {
    Core& c = core();
    const SignatureId id = c.addSignature();
    Signature& s = *c.signature(id);
    s.nameQe = d.name;
    s.colorIndex = d.colorIndex;
    s.active = d.active;
    s.keyQe = d.key;
    s.filePathQe = d.filePath;
    s.fileNameQe = d.fileName;
    if (d.key.isEmpty())
        s.localTextQe = d.mainText;
    else
        s.mainTextQe = d.mainText;
    s.lastUpdateUnixTimeQz = d.lastUpdate;
    if (d.client) {
        auto& selection = s.clientKindToSelectedInstallationsInfoMap[*d.client];
        if (d.accountEmail.isEmpty()) {
            selection.allAccountsSelected = true;
            selection.allAccountsPayloadX = SelectedInstallationPayload{};
        } else {
            selection.accountEmailToPayloadMap[d.accountEmail] = {};
        }
    }
    // The service tells the engine which keys are active: it serves an active signature's key
    // before the save's refresh asks for it, and a disabled one's not at all.
    if (!d.key.isEmpty() && d.active)
        service.setSignature(d.key, d.mainText);
    else if (!d.key.isEmpty())
        service.removeSignature(d.key);
    c.saveSignature(id, false, false);
    // The refresh the save set going ends before the test looks.
    finishWork();
    return id;
}

void UiHarness::installThunderbird() {
    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                       FakeIdentityPrefsLines("1", "jane@x.org"));
}

void UiHarness::finishWork() {
    Core& c = core();
    // Work the widgets start on the next turn of the loop starts first.
    settle();
    for (int step = 0; step < 200 && !c.isIdle(); ++step) {
        RunEventLoopUntil([&c] { return c.isIdle(); }, 0.05);
        if (!c.isIdle())
            platform.mainQueue.advance(0.25);
    }
    if (!c.isIdle())
        ADD_FAILURE() << "the engine did not finish its work";
    settle();
}

MainController& UiHarness::main() {
    if (!_main) {
        _main = std::make_unique<MainController>(core(), delegate, notifier,
                                                 DefaultNewSignaturePanelFactory());
        _main->resize(1000, 700);
        _main->show();
        _main->engage();
        // As the application does: what other processes write into the store shows.
        _watcher = std::make_unique<StoreWatcher>(core());
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
