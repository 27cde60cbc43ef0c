#pragma once
// The desktop engine over a fake Mac, as the application runs it, for the tests that drive the
// engine (and the widgets around it): the manual clock, the signature service on loopback and a
// scripted prompter. A test arranges the Mac first; the engine is created on first use.
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/core/Core.h"
#include "app/demo/FakeMac.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/TestService.h"

namespace quillet {

class EngineHarness {
public:
    EngineHarness();

    // The engine, created on first use over the platform (with `prompter` and `workspace` in
    // place of the platform's when a test set them), asking the test service unless
    // `options.serviceUrl` says otherwise. The clients in `accounts` have them as discovered.
    Core& engine();
    // Closes the engine; the next one opens the same store, as the next start would.
    void closeEngine() { _core.reset(); }
    Core& reopen() {
        closeEngine();
        return engine();
    }
    // Closes the engine and removes its store: what one case left pending would otherwise be
    // synced again by the next engine's first refresh.
    void startAfresh();
    // From now on the sync passes the engine asks for are recorded in `syncPasses`, not run.
    void recordSyncPasses();

    // Runs the event loop until nothing the engine set going is left, without moving the clock.
    void waitUntilIdle(double seconds = 60);
    // Runs the event loop, moving the manual clock through the engine's waits, until nothing
    // the engine set going is left.
    void finish();

    QStringList alertTitles() const;
    // The alert shown with this title (a failure when none was).
    const Alert& alert(const QString& title) const;

    FakeMac mac;
    TestPlatform platform{mac};
    TestService service;
    Core::Options options;
    SystemLayout layout = SystemLayout::mac;  // linuxDesktop: the Linux clients laid out on it
    ScriptedPrompter* prompter = &platform.prompter;
    Workspace* workspace = &platform.workspace;
    std::map<ClientKind, Accounts> accounts;
    std::vector<SignatureIds> syncPasses;

private:
    std::unique_ptr<Core> _core;
    bool _recordSyncPasses = false;
};

}  // namespace quillet
