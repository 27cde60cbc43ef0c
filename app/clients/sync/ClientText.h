#pragma once
// Text as every client can carry it. One signature's text goes into prefs.js (whose parser takes
// a NUL for the end of the file and drops every preference after it), Apple Mail's XML property
// lists and seven-bit signature files, AppleScript string literals, JSON rows and HTML; the
// characters that any of these cannot hold are dropped here, once, before any client write, so
// that what a sync records as written is what the client holds.

#include <QString>

namespace quillet {

// The text without NUL, the other C0 controls except tab, line feed and carriage return,
// U+FFFE, U+FFFF and unpaired surrogates (none of which XML allows).
QString TextForClients(const QString& text);
// Whether anything of the text is left for the clients (TextForClients would not be empty),
// found without a copy and mostly at the first character.
bool HasTextForClients(const QString& text);

}  // namespace quillet
