#pragma once
// The quillet command: parses its arguments, builds the platform and the engine, runs one
// command and returns its exit status (0 done, 1 not done, 2 usage error).

#include <QStringList>

namespace quillet {

int RunQuilletCommand(const QStringList& arguments);

}  // namespace quillet
