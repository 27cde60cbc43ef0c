#include "tests/support/TestPlatform.h"

namespace quillet {

TestPlatform::TestPlatform(const FakeMac& fakeMac)
    : mac(fakeMac),
      workspace(fakeMac.paths()),
      accessibility(fakeMac.paths()),
      bundle(std::make_unique<Bundle>(*Bundle::open(fakeMac.bundlePath()))) {}

Platform TestPlatform::platform() {
    return Platform{mac.paths(), mainQueue, notificationCenter, prompter,
                    workspace,   *bundle,   accessibility};
}

}  // namespace quillet
