#pragma once
// Text helpers shared by every layer.

#include <QByteArray>
#include <QDateTime>
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

// The bytes as UTF-8 text; absent when they are not valid UTF-8.
std::optional<QString> DecodeUtf8(const QByteArray& bytes);
// The file name the new-signature forms give a file-based signature created at this local time:
// "qlt" + second, minute, hour, day, month and year modulo 100, two digits each.
QString FileSignatureName(const QDateTime& localTime);

}  // namespace quillet
