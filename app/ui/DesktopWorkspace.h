#pragma once
// The workspace of the application on a desktop: the engine's file-backed view of running
// applications, with URLs opened by the desktop's default handler (browser, mail program).

#include "platform/FileWorkspace.h"

namespace quillet {

class DesktopWorkspace : public FileWorkspace {
public:
    using FileWorkspace::FileWorkspace;
    bool openUrl(const QUrl& url) override;
};

}  // namespace quillet
