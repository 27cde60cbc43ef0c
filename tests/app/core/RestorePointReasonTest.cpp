#include <gtest/gtest.h>

#include "app/core/Core.h"
#include "app/core/RestorePoints.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacMozilla.h"
#include "platform/EventLoop.h"
#include "tests/support/FakeMacManaged.h"
#include "tests/support/SyncTestSupport.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/TestService.h"

namespace quillet {
namespace {

// The engine as the application runs it (no command to name its passes) over a fake Mac with
// Thunderbird and Postbox, whose signature list shows names.
class RestorePointReasonTest : public testing::Test {
protected:
    RestorePointReasonTest() {
        mac.setAccessibilityTrusted(true);
        mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
        WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                           FakeIdentityPrefsLines("1", "tom@x.org"));
        mac.installClient(ClientKind::postbox, "7.0.60");
        WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::postbox, "m1x2.default"),
                           FakeIdentityPrefsLines("1", "pat@x.org"));
        service.setSignature("k-work", "<p>Work</p>");
        service.setSignature("k-team", "<p>Team</p>");
    }

    Core& engine() {
        if (!core) {
            Core::Options options;
            options.serviceUrl = service.url();
            options.console = [](const QString&) {};
            QString error;
            core = Core::create(platform.platform(), options, &error);
            EXPECT_TRUE(core) << error.toStdString();
            core->SetDiscoveredAccounts(ClientKind::thunderbird,
                                        Accounts{std::make_shared<MozillaBasedClientAccount>(
                                            "tom@x.org", "1", std::nullopt)},
                                        false);
            core->SetDiscoveredAccounts(ClientKind::postbox,
                                        Accounts{std::make_shared<MozillaBasedClientAccount>(
                                            "pat@x.org", "1", std::nullopt)},
                                        false);
        }
        return *core;
    }

    void finish() {
        for (int step = 0; step < 400 && !core->isIdle(); ++step) {
            RunEventLoopUntil([this] { return core->isIdle(); }, 0.05);
            if (!core->isIdle())
                platform.mainQueue.advance(0.25);
        }
        ASSERT_TRUE(core->isIdle());
    }

    // The reason of the point the step made; empty when it made none.
    QString reasonOf(const std::function<void()>& step) {
        const std::size_t before = engine().restorePoints().list().size();
        step();
        finish();
        const auto points = engine().restorePoints().list();
        return points.size() > before ? points.front().reason : QString();
    }

    // A service signature with the service's text, so that no refresh changes it.
    SignatureId installed(const QString& key, const QString& text) {
        Core& c = engine();
        const SignatureId id = c.addSignature();
        Signature& signature = *c.signature(id);
        signature.keyQe = key;
        signature.mainTextQe = text;
        signature.nameQe = key;
        for (ClientKind kind : {ClientKind::thunderbird, ClientKind::postbox}) {
            signature.clientKindToSelectedInstallationsInfoMap[kind]
                .accountEmailToPayloadMap[kind == ClientKind::thunderbird ? "tom@x.org"
                                                                          : "pat@x.org"] = {};
        }
        c.saveSignature(id, true, false);
        return id;
    }

    FakeMac mac;
    TestPlatform platform{mac};
    TestService service;
    std::unique_ptr<Core> core;
};

TEST_F(RestorePointReasonTest,
       EachPassIsNamedByWhatItsCommandDidAndOneThatChangesNothingMakesNone) {
    SignatureId work;
    EXPECT_EQ(reasonOf([&] { work = installed("k-work", "<p>Work</p>"); }), "install");
    EXPECT_EQ(reasonOf([&] {
                  core->signature(work)->nameQe = "Work";
                  core->saveSignature(work, true, false);
              }),
              "rename");
    service.setSignature("k-work", "<p>Work, updated</p>");
    EXPECT_EQ(reasonOf([&] { core->reinstallSignature(work); }), "update");
    EXPECT_EQ(reasonOf([&] { core->reinstallSignature(work); }), "") << "nothing changed";
    service.setSignature("k-work", "<p>Work, refreshed</p>");
    EXPECT_EQ(reasonOf([&] { core->refreshFromServer(); }), "refresh");
    EXPECT_EQ(reasonOf([&] {
                  core->signature(work)->pendingDeletion = true;
                  core->saveSignature(work, true, false);
              }),
              "uninstall");

    WriteManagedConfiguration(
        mac, ManagedConfigurationPlist({ManagedEntryPlist("k-team", "Thunderbird", "tom@x.org")}));
    core.reset();
    EXPECT_EQ(reasonOf([&] { engine().start(); }), "managed");
}

}  // namespace
}  // namespace quillet
