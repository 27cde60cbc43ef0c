#pragma once
// KMail and Geary on the Linux home of a fake machine, in the shape of the Mac clients' adapters
// (FakeMacClient), so that a test states its rules once for every client: their identities, and
// the signature each carries, read back from the clients' own files (KMail's emailidentities with
// KConfig's escapes, Geary's geary.ini with GLib's key-file code), and the person's edits made
// there as the clients write them. Each identity carries at most one signature: an account's
// signature has the account's key as its id (KMail's uoid, Geary's account folder), and is its
// default while the identity uses it (KMail's "Signature Enabled", Geary's "use_signature").
//
// KMail keeps whether a signature is HTML ("Inlined Html"); a plain one reads as its text after
// kPlainSignatureMark, so that a signature put back as HTML reads changed.

#include <QString>
#include <memory>

#include "common/ClientKind.h"
#include "tests/support/FakeMacClient.h"

namespace quillet {

inline constexpr char kPlainSignatureMark[] = "[plain] ";

// Installs KMail and Geary as the distribution's packages under the machine's root, where the
// command's Linux platform finds them, and gives the person their identities: in each client an
// identity using an HTML signature of their own, and one without (KMail: a plain signature of the
// person's that is switched off).
void LayOutLinuxClients(const FakeMac& mac);

// The adapter of KMail or Geary on a machine laid out so; none for another client.
std::unique_ptr<FakeMacClient> MakeLinuxClientAdapter(const FakeMac& mac, ClientKind kind);

}  // namespace quillet
