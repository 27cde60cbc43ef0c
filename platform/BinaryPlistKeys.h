#pragma once
// A check of a binary property list's raw bytes for what libplist 2.2 cannot hold: a dictionary
// key with a NUL byte in it. libplist keeps such a key with the length of all its bytes, and
// reading it back then aborts the process on libplist's own assertion. A damaged Mail
// preferences file must be an unreadable file, not the end of Quillet.

#include <QByteArray>

namespace quillet {

// True when the bytes are a binary property list (as libplist reads one) in which some
// dictionary has a key, ASCII or UTF-16, holding a NUL character. Bytes that are not a binary
// property list, or too damaged to say, give false: libplist refuses those itself.
bool BinaryPlistHasKeyWithNul(const QByteArray& bytes);

}  // namespace quillet
