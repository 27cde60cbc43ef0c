#pragma once
// Which quillet command a test runs, and the stand-ins (osascript, defaults) its fake Macs hold.
// Tests that start the command hundreds of times run the release build named by
// QUILLET_RELEASE_BUILD_DIR (tools/release-build.sh builds it; tools/test.sh provides it), which
// starts about ten times faster than this sanitized build and does the same work; without that
// folder they run this build's.

#include <QString>

namespace quillet {

struct CommandBuild {
    QString quillet;
    QString standIns;  // the folder of fake-osascript and fake-defaults; empty: this build's

    // The release build when QUILLET_RELEASE_BUILD_DIR names one, else this build.
    static CommandBuild Fastest();
    bool isRelease() const { return !standIns.isEmpty(); }
    // Puts the build's stand-ins into a fake Mac's ROOT/usr/bin (the fake-Mac builder installs
    // this build's); false when one cannot be copied.
    bool installStandIns(const QString& root) const;
};

}  // namespace quillet
