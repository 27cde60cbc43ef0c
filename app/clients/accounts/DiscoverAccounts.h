#pragma once
// Account discovery of the detected clients on a background thread, one client after the other;
// every result is handed to the engine on the main thread, which is waited for before the next
// client is listed.

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "common/Accounts.h"
#include "common/ClientKind.h"

namespace quillet {

class AppleScriptRunner;
class MainQueue;
class Paths;

// The engine's SetDiscoveredAccounts; called on the main thread.
using SetDiscoveredAccountsFn =
    std::function<void(ClientKind, const std::optional<Accounts>&, bool partial)>;

// Whether the client's accounts are read from its own files (Spark's database, prefs.js, KMail's
// identities, Geary's account files): reading them runs no script, starts nothing and needs no
// permission, so it is done whether or not the client runs.
bool AccountsAreReadFromFiles(ClientKind kind);

// The listing of one client, on the calling thread: Apple Mail's script, Outlook's A or B by its
// version (publishing its first list through publishPartial), Spark's database, a Mozilla-based
// client's prefs.js. Absent when the discovery failed.
std::optional<Accounts> DiscoverClientAccounts(
    ClientKind kind, const ClientInfo& info, const AppleScriptRunner& runner, const Paths& paths,
    const std::function<void(const Accounts&)>& publishPartial);

// A running discovery. Destroying it (on the main thread) stops every later hand-over and
// finished(), and waits for the background thread, which at most finishes the listing it is in;
// so the runner, paths and queue given to DiscoverAccounts must outlive the handle.
class AccountDiscovery {
public:
    struct State;
    // Runs work on a new thread; work hands over through the state.
    AccountDiscovery(std::shared_ptr<State> state, std::function<void()> work);
    ~AccountDiscovery();
    AccountDiscovery(const AccountDiscovery&) = delete;
    AccountDiscovery& operator=(const AccountDiscovery&) = delete;

    // True once the background thread has handed over its last result.
    bool isFinished() const;

private:
    std::shared_ptr<State> _state;
    std::thread _thread;
};

// Starts the discovery and returns at once. Each result goes to setDiscovered on the main
// thread (Outlook's first list with partial set, then every client's final result with partial
// unset); finished() is posted to the main queue at the end. Keep the handle while it runs.
[[nodiscard]] std::unique_ptr<AccountDiscovery> DiscoverAccounts(
    const std::vector<std::pair<ClientKind, ClientInfoPtr>>& clients,
    const AppleScriptRunner& runner, const Paths& paths, MainQueue& mainQueue,
    SetDiscoveredAccountsFn setDiscovered, std::function<void()> finished);

}  // namespace quillet
