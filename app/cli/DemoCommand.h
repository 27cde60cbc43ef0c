#pragma once
// quillet demo [DIR]: builds the sample Mac in DIR (default: a new temporary folder, kept so
// that it can be looked at), serves sample signatures from the reference signature service on a
// free loopback port, and drives this very program over them as a person would: installs into
// the five clients, a change on the service, a refresh while Apple Mail runs. After each step it
// prints what was written where. The service stops when the demo ends; the Mac stays.

#include "app/cli/CommandLine.h"

namespace quillet {

int RunDemoCommand(const CommandLine& line);

}  // namespace quillet
