#pragma once
// More of the stand-in osascript: scripts that hang, and what it saw of the script file.

#include <QString>
#include <optional>

#include "app/demo/FakeMac.h"

namespace quillet {

// The script hangs for the given seconds before it answers (a modal dialog in the client, an
// Automation prompt nobody answers).
void SetFakeScriptHang(const FakeMac& mac, const QString& name, int seconds);
// The process id of the stand-in's last run of the script that hangs; absent before it started.
std::optional<qint64> FakeScriptProcessId(const FakeMac& mac, const QString& name);
// The path of the file that the last run of the script was given, and its permission bits as
// the stand-in saw them ("600").
QString FakeScriptLastPath(const FakeMac& mac, const QString& name);
QString FakeScriptLastMode(const FakeMac& mac, const QString& name);

}  // namespace quillet
