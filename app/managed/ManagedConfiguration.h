#pragma once
// The configuration an organisation deploys through its device management: a property list
// (XML or binary) that the management system places in the managed-preferences folder. It lists
// the organisation's signatures (by key, with their client, account and options), may point
// Quillet at another signature service and may forbid signatures of the person's own.
//
// Reading never fails outright: a file that cannot be read or parsed says so in `state` (and the
// caller then changes nothing), a bad entry is logged with its index and reason and left out, a
// ServiceURL that is not https (or http on a loopback address) is logged and ignored.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>
#include <vector>

#include "common/ClientKind.h"
#include "platform/Paths.h"
#include "platform/SystemLayout.h"

namespace quillet {

// One entry of "ManagedSignatures", checked.
struct ManagedEntry {
    int index = 0;                     // its place in the array, as the log names it
    QString key;                       // normalised as typed keys are
    std::optional<ClientKind> client;  // absent: every detected client that can take it
    QString account;                   // empty: all accounts
    bool insertForReplies = true;
    bool insertForForwards = true;

    // The entry's identity across changes of client, account and options: its key and how many
    // entries with the same key come before it.
    int ordinal = 0;
};

struct ManagedConfiguration {
    enum class State {
        absent,      // no file: the organisation manages nothing (any more)
        unreadable,  // a file that cannot be read or parsed: leave everything as it is
        read,
    };
    State state = State::absent;
    QString path;  // the file that was (or could not be) read
    std::vector<ManagedEntry> entries;
    std::optional<QUrl> serviceUrl;  // only an accepted one
    bool allowUserSignatures = true;
};

// The files looked at, the one that wins first. On the Mac the person's own
// (ROOT/Library/Managed Preferences/USER/BUNDLE_ID.plist, USER being the name of the home
// folder), then the machine's (ROOT/Library/Managed Preferences/BUNDLE_ID.plist); on the Linux
// desktop ROOT/etc/quillet/managed.plist.
QStringList ManagedConfigurationPaths(const Paths& paths, SystemLayout layout,
                                      const QString& bundleIdentifier);

// Reads the first of those files that exists, logging what it refuses.
ManagedConfiguration ReadManagedConfiguration(const Paths& paths, SystemLayout layout,
                                              const QString& bundleIdentifier);

// https anywhere; http only to a loopback address (127.0.0.0/8, ::1, "localhost"); never with a
// query or a fragment (ServiceBaseUrlProblem).
bool IsAcceptedServiceUrl(const QUrl& url);

}  // namespace quillet
