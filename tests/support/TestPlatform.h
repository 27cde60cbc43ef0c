#pragma once
// A platform for tests over a fake Mac: the manual clock, a scripted prompter, the file-backed
// workspace and accessibility, and the fake Mac's resources.

#include <memory>

#include "app/demo/FakeMac.h"
#include "platform/Accessibility.h"
#include "platform/Bundle.h"
#include "platform/FileWorkspace.h"
#include "platform/ManualMainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/ScriptedPrompter.h"

namespace quillet {

class TestPlatform {
public:
    explicit TestPlatform(const FakeMac& mac);

    Platform platform();

    const FakeMac& mac;
    ManualMainQueue mainQueue;
    NotificationCenter notificationCenter;
    ScriptedPrompter prompter;
    FileWorkspace workspace;
    FileAccessibility accessibility;
    std::unique_ptr<Bundle> bundle;
};

}  // namespace quillet
