#pragma once
// A check of a binary property list's raw bytes for what libplist 2.2 cannot hold: a text with
// a NUL character in it. libplist keeps such a text with the length of all its bytes, and when
// the text is a dictionary key, reading it back aborts the process on libplist's own assertion.
// A damaged Mail preferences file must be an unreadable file, not the end of Quillet.

#include <QByteArray>

namespace quillet {

// True when the bytes are a binary property list with a string object, ASCII or UTF-16,
// holding a NUL character. Every object the list's offset table names counts, whether or not
// libplist would reach it: that keeps the check independent of how far libplist reads a
// damaged list, and linear in its size. Bytes that are not a binary list, or whose trailer
// describes none (BinaryPlistLayout), give false.
bool BinaryPlistHasTextWithNul(const QByteArray& bytes);

}  // namespace quillet
