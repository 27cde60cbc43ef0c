#pragma once
// What the person is told when no program could open a link (Help, Feedback, Check for Updates
// on a desktop without a browser or mail program): the address, to open by hand.

#include <QUrl>

namespace quillet {

class Prompter;

void AlertLinkNotOpened(Prompter& prompter, const QUrl& url);

}  // namespace quillet
