#pragma once
// Modules of our own that a process loads only when a command needs what they bring (Qt's
// network stack, the D-Bus library): they are built to lib/quillet and found from the program's
// folder as ../lib/quillet, which holds for bin, the tests and an installed package alike.

#include <QtGlobal>

#include "common/Result.h"

namespace quillet {

// The module's function named `symbol`, loading the module on first use (from any thread) and
// never unloading it; fails, saying why, when the module or the function cannot be loaded.
Result<QFunctionPointer> ModuleFunction(const QString& module, const char* symbol);

}  // namespace quillet
