#include <gtest/gtest.h>

#include "app/core/Core.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/restore/RestorePoints.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/FakeMacManaged.h"

namespace quillet {
namespace {

// The engine as the application runs it (no command to name its passes) over a fake Mac with
// Thunderbird and Postbox, whose signature list shows names.
class RestorePointReasonTest : public testing::Test, protected EngineHarness {
protected:
    RestorePointReasonTest() {
        mac.setAccessibilityTrusted(true);
        mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
        WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                           FakeIdentityPrefsLines("1", "tom@x.org"));
        mac.installClient(ClientKind::postbox, "7.0.60");
        WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::postbox, "m1x2.default"),
                           FakeIdentityPrefsLines("1", "pat@x.org"));
        for (const auto& [kind, email] : kEmails) {
            accounts[kind] = {
                std::make_shared<MozillaBasedClientAccount>(email, "1", std::nullopt)};
        }
        service.setSignature("k-work", "<p>Work</p>");
        service.setSignature("k-team", "<p>Team</p>");
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
        const SignatureId id = engine().addSignature([&](Signature& signature) {
            signature.keyQe = key;
            signature.mainTextQe = text;
            signature.nameQe = key;
            for (const auto& [kind, email] : kEmails)
                signature.clientKindToSelectedInstallationsInfoMap[kind]
                    .accountEmailToPayloadMap[email] = {};
        });
        engine().saveSignature(id, true, false);
        return id;
    }

    const std::map<ClientKind, QString> kEmails = {{ClientKind::thunderbird, "tom@x.org"},
                                                   {ClientKind::postbox, "pat@x.org"}};
};

TEST_F(RestorePointReasonTest,
       EachPassIsNamedByWhatItsCommandDidAndOneThatChangesNothingMakesNone) {
    SignatureId work;
    EXPECT_EQ(reasonOf([&] { work = installed("k-work", "<p>Work</p>"); }), "install");
    EXPECT_EQ(reasonOf([&] {
                  engine().signature(work)->nameQe = "Work";
                  engine().saveSignature(work, true, false);
              }),
              "rename");
    service.setSignature("k-work", "<p>Work, updated</p>");
    EXPECT_EQ(reasonOf([&] { engine().reinstallSignature(work); }), "update");
    EXPECT_EQ(reasonOf([&] { engine().reinstallSignature(work); }), "") << "nothing changed";
    service.setSignature("k-work", "<p>Work, refreshed</p>");
    EXPECT_EQ(reasonOf([&] { engine().refreshFromServer(); }), "refresh");
    EXPECT_EQ(reasonOf([&] {
                  engine().signature(work)->pendingDeletion = true;
                  engine().saveSignature(work, true, false);
              }),
              "uninstall");

    WriteManagedConfiguration(
        mac, ManagedConfigurationPlist({ManagedEntryPlist("k-team", "Thunderbird", "tom@x.org")}));
    closeEngine();
    EXPECT_EQ(reasonOf([&] { engine().start(); }), "managed");
}

}  // namespace
}  // namespace quillet
