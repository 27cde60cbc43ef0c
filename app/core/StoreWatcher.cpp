#include "app/core/StoreWatcher.h"

#include "app/core/Core.h"
#include "app/store/Store.h"

namespace quillet {

StoreWatcher::StoreWatcher(Core& core, double interval)
    : _core(core), _interval(interval), _seenVersion(core.store().dataVersion()) {
    schedule();
}

StoreWatcher::~StoreWatcher() = default;

void StoreWatcher::schedule() {
    _core.platform().mainQueue.postAfter(_interval, [this, alive = std::weak_ptr<bool>(_alive)] {
        if (alive.expired())
            return;
        check();
        schedule();
    });
}

bool StoreWatcher::check() {
    const std::optional<std::int64_t> version = _core.store().dataVersion();
    if (!version || version == _seenVersion)
        return false;
    if (!_core.isIdle() || _core.store().hasChanges())
        return false;
    // A store that cannot be read is read again at its next change, not at every look.
    _seenVersion = version;
    if (auto failed = _core.reloadSignatures()) {
        _core.logError("StoreWatcher: could not read the signatures again: " + failed->error);
        return false;
    }
    _core.logInfo("StoreWatcher: another process changed the signatures; read them again");
    _core.platform().notificationCenter.post(kSignaturesReloadedNotification, {});
    return true;
}

}  // namespace quillet
