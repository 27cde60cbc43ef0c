#pragma once
// Outlook's signatures and default signatures in the fake Mac's state file, as the stand-in
// osascript plays them, and the failures it can be told to give.

#include <QString>
#include <map>
#include <vector>

#include "app/demo/FakeMac.h"

namespace quillet {

struct FakeOutlookSignature {
    QString name;
    QString content;
    bool operator==(const FakeOutlookSignature&) const = default;
};

struct FakeOutlookDefaults {
    QString newMessages;
    QString repliesForwards;
    bool operator==(const FakeOutlookDefaults&) const = default;
};

// Replaces Outlook's signatures (Outlook then counts as running).
void SetFakeOutlookSignatures(const FakeMac& mac,
                              const std::vector<FakeOutlookSignature>& signatures);
std::vector<FakeOutlookSignature> FakeOutlookSignatures(const FakeMac& mac);
// Replaces the default signatures of the accounts, by account email (the others show "None").
void SetFakeOutlookDefaultSignatures(const FakeMac& mac,
                                     const std::map<QString, FakeOutlookDefaults>& defaults);
// The default signatures set so far, by account email.
std::map<QString, FakeOutlookDefaults> FakeOutlookDefaultSignatures(const FakeMac& mac);
// The next `runs` runs of the named script fail with an execution error; -1: every run.
void FailFakeOutlookScript(const FakeMac& mac, const QString& scriptName, int runs = -1);

}  // namespace quillet
