#pragma once
// Which system Quillet serves: a Mac laid out under a root (the real one at "/", or a fake Mac
// for tests and the demo), or the Linux desktop it runs on.

#include <QString>
#include <optional>

namespace quillet {

enum class SystemLayout { mac, linuxDesktop };

struct SystemLayoutChoice {
    std::optional<SystemLayout> layout;
    QString error;  // set when layout is absent: the named platform is not known
};

// The platform named by the option, else by QUILLET_PLATFORM ("mac" or "linux"); unnamed, a
// Linux build serves its own desktop unless a root is given (option or QUILLET_ROOT), and
// every other build serves the Mac.
SystemLayoutChoice ChooseSystemLayout(const QString& platformOption, const QString& rootOption);

}  // namespace quillet
