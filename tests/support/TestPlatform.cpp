#include "tests/support/TestPlatform.h"

namespace quillet {

TestPlatform::TestPlatform(const FakeMac& fakeMac)
    : mac(fakeMac), workspace(fakeMac.paths()), accessibility(fakeMac.paths()) {
    reloadBundle();
}

void TestPlatform::reloadBundle() {
    // In place: runners made from the platform keep their reference to the bundle.
    if (bundle)
        *bundle = *Bundle::open(mac.bundlePath());
    else
        bundle = std::make_unique<Bundle>(*Bundle::open(mac.bundlePath()));
}

Platform TestPlatform::platform() {
    return Platform{mac.paths(), mainQueue, notificationCenter, prompter,
                    workspace,   *bundle,   accessibility};
}

}  // namespace quillet
