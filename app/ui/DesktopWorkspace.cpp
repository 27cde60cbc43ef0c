#include "app/ui/DesktopWorkspace.h"

#include <QDesktopServices>

namespace quillet {

bool DesktopWorkspace::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace quillet
