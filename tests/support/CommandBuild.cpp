#include "tests/support/CommandBuild.h"

#include <QFile>
#include <QFileInfo>

namespace quillet {

CommandBuild CommandBuild::Fastest() {
    const QString folder = qEnvironmentVariable("QUILLET_RELEASE_BUILD_DIR");
    const CommandBuild release{folder + "/bin/quillet", folder + "/fake-mac"};
    if (!folder.isEmpty() && QFileInfo(release.quillet).isExecutable() &&
        QFileInfo(release.standIns + "/fake-osascript").isExecutable())
        return release;
    return {QUILLET_QUILLET_PATH, {}};
}

bool CommandBuild::installStandIns(const QString& root) const {
    if (!isRelease())
        return true;
    for (const auto& [name, standIn] :
         {std::pair{"osascript", "fake-osascript"}, std::pair{"defaults", "fake-defaults"}}) {
        const QString target = root + "/usr/bin/" + name;
        QFile::remove(target);
        if (!QFile::copy(standIns + "/" + standIn, target))
            return false;
    }
    return true;
}

}  // namespace quillet
