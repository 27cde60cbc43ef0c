#include "app/clients/accounts/DiscoverAccounts.h"

#include <condition_variable>
#include <mutex>

#include "app/clients/accounts/AppleMailAccounts.h"
#include "app/clients/accounts/MozillaAccounts.h"
#include "app/clients/accounts/OutlookAccounts.h"
#include "app/clients/accounts/SparkAccounts.h"
#include "app/clients/linux/LinuxClientAccounts.h"
#include "platform/MainQueue.h"

namespace quillet {

struct AccountDiscovery::State {
    std::mutex lock;
    std::condition_variable changed;
    bool cancelled = false;
    bool finished = false;
    unsigned long posted = 0;     // hand-overs posted to the main queue
    unsigned long completed = 0;  // the last one that has run there
};

namespace {

using State = AccountDiscovery::State;

// Runs fn on the main thread and waits until it has run, like runOnMainAndWait, except that the
// handle's destruction on the main thread ends the wait instead of waiting on itself. False when
// the discovery was stopped (fn then never runs).
bool HandOverToMain(const std::shared_ptr<State>& state, MainQueue& mainQueue,
                    std::function<void()> fn) {
    unsigned long ticket = 0;
    {
        std::lock_guard guard(state->lock);
        if (state->cancelled)
            return false;
        ticket = ++state->posted;
    }
    mainQueue.post([state, fn = std::move(fn), ticket] {
        {
            // The flag is only set on the main thread, so it cannot change until fn returns.
            std::lock_guard guard(state->lock);
            if (state->cancelled)
                return;
        }
        fn();
        {
            std::lock_guard guard(state->lock);
            state->completed = ticket;
        }
        state->changed.notify_all();
    });
    std::unique_lock waiting(state->lock);
    state->changed.wait(waiting, [&] { return state->cancelled || state->completed >= ticket; });
    return !state->cancelled;
}

}  // namespace

bool AccountsAreReadFromFiles(ClientKind kind) {
    switch (kind) {
        case ClientKind::postbox:
        case ClientKind::spark:
        case ClientKind::thunderbird:
        case ClientKind::kmail:
        case ClientKind::geary:
            return true;
        case ClientKind::appleMail:
        case ClientKind::outlook:
        case ClientKind::evolution:  // asking its registry starts it
            return false;
    }
    return false;
}

std::optional<Accounts> DiscoverClientAccounts(
    ClientKind kind, const ClientInfo& info, const AppleScriptRunner& runner, const Paths& paths,
    const std::function<void(const Accounts&)>& publishPartial) {
    switch (kind) {
        case ClientKind::appleMail:
            return DiscoverAppleMailAccounts(runner, info);
        case ClientKind::outlook:
            if (info.outlookVersionKindQ == OutlookVersionKind::v16_80OrNewer) {
                return DiscoverOutlookAccountsB(runner, publishPartial);
            }
            return DiscoverOutlookAccountsA(runner, info, publishPartial);
        case ClientKind::spark:
            return DiscoverSparkAccounts(paths);
        case ClientKind::postbox:
        case ClientKind::thunderbird:
            return DiscoverMozillaBasedClientAccounts(kind, info);
        case ClientKind::evolution:
        case ClientKind::kmail:
        case ClientKind::geary:
            return DiscoverLinuxClientAccounts(kind, info);
    }
    return std::nullopt;
}

AccountDiscovery::AccountDiscovery(std::shared_ptr<State> state, std::function<void()> work)
    : _state(std::move(state)), _thread(std::move(work)) {}

AccountDiscovery::~AccountDiscovery() {
    {
        std::lock_guard guard(_state->lock);
        _state->cancelled = true;
    }
    _state->changed.notify_all();
    if (_thread.joinable())
        _thread.join();
}

bool AccountDiscovery::isFinished() const {
    std::lock_guard guard(_state->lock);
    return _state->finished;
}

std::unique_ptr<AccountDiscovery> DiscoverAccounts(
    const std::vector<std::pair<ClientKind, ClientInfoPtr>>& clients,
    const AppleScriptRunner& runner, const Paths& paths, MainQueue& mainQueue,
    SetDiscoveredAccountsFn setDiscovered, std::function<void()> finished) {
    auto state = std::make_shared<State>();
    // The hand-overs hold their own copies: a setDiscovered that destroys the handle must not
    // pull the ground from under itself.
    auto set = std::make_shared<SetDiscoveredAccountsFn>(std::move(setDiscovered));
    auto work = [state, clients, &runner, &paths, &mainQueue, set, finished = std::move(finished)] {
        for (const auto& [kind, info] : clients) {
            {
                std::lock_guard guard(state->lock);
                if (state->cancelled)
                    return;
            }
            const auto publishPartial = [&, kind = kind](const Accounts& accounts) {
                HandOverToMain(state, mainQueue,
                               [set, kind, accounts] { (*set)(kind, accounts, true); });
            };
            const ClientInfo noInfo({}, {}, {});
            const auto accounts =
                DiscoverClientAccounts(kind, info ? *info : noInfo, runner, paths, publishPartial);
            if (!HandOverToMain(state, mainQueue,
                                [set, kind = kind, accounts] { (*set)(kind, accounts, false); })) {
                return;
            }
        }
        {
            std::lock_guard guard(state->lock);
            if (state->cancelled)
                return;
            state->finished = true;
        }
        mainQueue.post([state, finished] {
            {
                std::lock_guard guard(state->lock);
                if (state->cancelled)
                    return;
            }
            if (finished)
                finished();
        });
    };
    return std::make_unique<AccountDiscovery>(state, std::move(work));
}

}  // namespace quillet
