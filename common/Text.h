#pragma once
// Text helpers shared by every layer.

#include <QString>
#include <QUuid>
#include <optional>

namespace quillet {

// Trims white space and line breaks (Unicode's, not only ASCII's) at both ends.
QString TrimmedText(const QString& text);
// Text the user typed (a key, a name): every line feed, carriage return and tab deleted, then
// trimmed at both ends.
QString NormaliseTypedText(const QString& text);
// The number of user-perceived characters (an emoji with its modifiers counts once).
int CharacterCount(const QString& text);
// A UUID's canonical text: upper case, 8-4-4-4-12, no braces.
QString CanonicalUuidText(const QUuid& uuid);
// Parses a UUID written with or without braces; absent when the text is no UUID.
std::optional<QUuid> ParseUuid(const QString& text);

}  // namespace quillet
