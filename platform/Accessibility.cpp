#include "platform/Accessibility.h"

#include <QFileInfo>

namespace quillet {

FileAccessibility::FileAccessibility(const Paths& paths)
    : _trustFile(paths.system("/var/run/accessibility/trusted")) {}

bool FileAccessibility::isProcessTrusted() const {
    return QFileInfo::exists(_trustFile);
}

}  // namespace quillet
