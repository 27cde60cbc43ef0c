#include "tests/support/EngineHarness.h"

#include <gtest/gtest.h>

#include <QDir>

#include "platform/EventLoop.h"

namespace quillet {

EngineHarness::EngineHarness() {
    options.console = [](const QString&) {};
}

Core& EngineHarness::engine() {
    if (!_core) {
        Core::Options withService = options;
        if (withService.serviceUrl.isEmpty())
            withService.serviceUrl = service.url();
        const Platform p = platform.platform();
        auto created = Core::create(Platform{p.paths, p.mainQueue, p.notificationCenter, *prompter,
                                             *workspace, p.bundle, p.accessibility, layout},
                                    withService);
        if (!created) {
            ADD_FAILURE() << "the engine did not start: " << created.error().toStdString();
            std::abort();
        }
        _core = std::move(*created);
        for (const auto& [kind, discovered] : accounts)
            _core->SetDiscoveredAccounts(kind, discovered, false);
        if (_recordSyncPasses)
            recordSyncPasses();
    }
    return *_core;
}

void EngineHarness::startAfresh() {
    if (!_core)
        return;
    const QString dataFolder = _core->dataFolder();
    _core.reset();
    QDir(dataFolder).removeRecursively();
}

void EngineHarness::recordSyncPasses() {
    _recordSyncPasses = true;
    if (_core) {
        _core->setSyncPassRunner(
            [this](const SignatureIds& ids, std::function<void(WorkOutcome)> done) {
                syncPasses.push_back(ids);
                done({});
            });
    }
}

void EngineHarness::waitUntilIdle(double seconds) {
    Core& core = engine();
    EXPECT_TRUE(RunEventLoopUntil([&core] { return core.isIdle(); }, seconds))
        << "the engine did not finish its work";
}

void EngineHarness::finish() {
    Core& core = engine();
    for (int step = 0; step < 400 && !core.isIdle(); ++step) {
        RunEventLoopUntil([&core] { return core.isIdle(); }, 0.05);
        if (!core.isIdle())
            platform.mainQueue.advance(0.25);
    }
    EXPECT_TRUE(core.isIdle()) << "the engine did not finish its work";
}

QStringList EngineHarness::alertTitles() const {
    QStringList titles;
    for (const Alert& shown : prompter->shown())
        titles << shown.title;
    return titles;
}

const Alert& EngineHarness::alert(const QString& title) const {
    for (const Alert& shown : prompter->shown()) {
        if (shown.title == title)
            return shown;
    }
    ADD_FAILURE() << "no alert " << title.toStdString() << " among "
                  << alertTitles().join("; ").toStdString();
    static const Alert none;
    return none;
}

}  // namespace quillet
