#pragma once
// Outlook's accounts, listed by its scripts: the A listings (a main one and a Gmail one) for
// Outlook before 16.80, the B listing from 16.80 on.

#include <QString>
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
// The accounts of one A listing's output (records of user name, full name and email), and of
// the B listing's ("Full Name (email)" or a bare email); malformed records are logged and skipped.
Accounts ParseOutlookAccountsA(const QString& output, const QString& tag);
Accounts ParseOutlookAccountsB(const QString& output);

// The B listing, published at once; absent when it failed.
std::optional<Accounts> DiscoverOutlookAccountsB(const AppleScriptRunner& runner,
                                                 const PublishPartialAccountsFn& publishPartial);

}  // namespace quillet
