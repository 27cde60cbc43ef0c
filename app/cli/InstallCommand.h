#pragma once
// quillet install: the new-signature form without a window. It discovers the chosen client's
// accounts, checks the choices in the form's order with the form's alerts (each refusal exits 1
// and stores nothing), fetches the key or reads the file, then creates the signature, saves it
// with sync and waits for everything the engine set going.

#include "app/cli/Session.h"
#include "common/Text.h"  // FileSignatureName

namespace quillet {

int RunInstallCommand(Session& session);

}  // namespace quillet
