#pragma once
// Notices what other processes wrote into the signature store while this one runs (the
// `quillet` command, the web-mail host, a managed configuration another process applied), reads
// the signatures again and posts kSignaturesReloadedNotification, so that a window shows them.
//
// It looks on the main queue's clock, at SQLite's data version of the store's own connection,
// which only other connections' commits change: a look costs one pragma, no file read. A change
// found while the engine is busy (a pass, a refresh, unsaved changes of this process) waits for
// the next look, so nothing is read again under work that holds the signatures.

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace quillet {

class Core;

inline const QString kSignaturesReloadedNotification = "kSignaturesReloadedNotification";

class StoreWatcher {
public:
    static constexpr double kInterval = 1.0;  // seconds between two looks

    // Starts looking every `interval` seconds of the engine's main queue, until destroyed.
    explicit StoreWatcher(Core& core, double interval = kInterval);
    ~StoreWatcher();
    StoreWatcher(const StoreWatcher&) = delete;
    StoreWatcher& operator=(const StoreWatcher&) = delete;

    // One look; true when it read the signatures again.
    bool check();

private:
    void schedule();

    Core& _core;
    double _interval;
    std::optional<std::int64_t> _seenVersion;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);  // guards the posted looks
};

}  // namespace quillet
