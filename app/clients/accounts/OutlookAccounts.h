#pragma once
// Outlook's accounts, listed by its scripts: the A listings (a main one and a Gmail one) for
// Outlook before 16.80, the B listing from 16.80 on.

#include <functional>
#include <optional>

#include "common/Accounts.h"

namespace quillet {

class AppleScriptRunner;
struct ClientInfo;

// Hands a first list over before the listing is complete (the core's partial publication).
using PublishPartialAccountsFn = std::function<void(const Accounts&)>;

// A-Main, published at once, then (except for Outlook 14 and older) A-Gmail added to it. Absent
// when A-Main failed; a failed A-Gmail only loses the Gmail accounts.
std::optional<Accounts> DiscoverOutlookAccountsA(const AppleScriptRunner& runner,
                                                 const ClientInfo& clientInfo,
                                                 const PublishPartialAccountsFn& publishPartial);
// The B listing, published at once; absent when it failed.
std::optional<Accounts> DiscoverOutlookAccountsB(const AppleScriptRunner& runner,
                                                 const PublishPartialAccountsFn& publishPartial);

}  // namespace quillet
