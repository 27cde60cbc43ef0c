#pragma once
// Everything the engine asks of the operating system, handed to it at creation.

#include "platform/Accessibility.h"
#include "platform/Bundle.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/SystemLayout.h"
#include "platform/Workspace.h"

namespace quillet {

struct Platform {
    const Paths& paths;
    MainQueue& mainQueue;
    NotificationCenter& notificationCenter;
    Prompter& prompter;
    Workspace& workspace;
    const Bundle& bundle;
    const Accessibility& accessibility;
    SystemLayout layout = SystemLayout::mac;  // which clients detection looks for, and where
};

}  // namespace quillet
