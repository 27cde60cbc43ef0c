#include "app/ui/LinkAlert.h"

#include "common/Localization.h"
#include "platform/Prompter.h"

namespace quillet {

void AlertLinkNotOpened(Prompter& prompter, const QUrl& url) {
    const QString address =
        url.scheme() == "mailto" ? url.path() : url.toString(QUrl::RemoveUserInfo);
    prompter.ask(Alert{AlertStyle::warning,
                       Localized("Could not open the link."),
                       FillPlaceholders(Localized("No program on this computer could open it. "
                                                  "You can go to %@ yourself."),
                                        {address}),
                       {Localized("OK")},
                       {}});
}

}  // namespace quillet
