#include "platform/SystemLayout.h"

#include <QtGlobal>

namespace quillet {

SystemLayoutChoice ChooseSystemLayout(const QString& platformOption, const QString& rootOption) {
    QString name = platformOption;
    if (name.isEmpty())
        name = qEnvironmentVariable("QUILLET_PLATFORM");
    if (name == "mac")
        return {SystemLayout::mac, {}};
    if (name == "linux")
        return {SystemLayout::linuxDesktop, {}};
    if (!name.isEmpty())
        return {std::nullopt, "unknown platform " + name + " (mac or linux)"};
#ifdef Q_OS_LINUX
    const bool rootGiven = !rootOption.isEmpty() || !qEnvironmentVariable("QUILLET_ROOT").isEmpty();
    return {rootGiven ? SystemLayout::mac : SystemLayout::linuxDesktop, {}};
#else
    Q_UNUSED(rootOption);
    return {SystemLayout::mac, {}};
#endif
}

}  // namespace quillet
