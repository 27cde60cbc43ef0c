#pragma once
// The limits a property list keeps to be read at all. A list can be built to take the reader
// down: nested a hundred thousand levels deep, it overflows the stack of any recursive walk
// (libplist's own copy and free among them); in binary form, an object that refers to the next
// one twice, level after level, makes a file of a few hundred bytes into a tree of millions of
// nodes, since libplist copies a shared object for every reference to it. Only the raw bytes
// are looked at, before libplist reads them, and without recursion: linear in their size.

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace quillet {

// Arrays and dictionaries nested in one another.
inline constexpr int kPlistMaxDepth = 512;
// Values (dictionary keys among them), each shared object counted once for every reference.
inline constexpr std::uint64_t kPlistMaxNodes = 250'000;
// Bytes of texts and data, counted the same way.
inline constexpr std::uint64_t kPlistMaxPayloadBytes = 64 * 1024 * 1024;

enum class PlistLimitBreach {
    tooDeep,    // nested deeper than kPlistMaxDepth, or an object that holds itself
    tooLarge,   // more nodes or payload bytes than the limits
    malformed,  // a binary list whose trailer cannot describe any list
};

// How the bytes, read as libplist 2.2 reads them, would break the limits; nothing when they
// keep them. Bytes that libplist refuses anyway count only as far as it would read them; XML
// is followed the way libplist's own XML reader tokenises it (comments, CDATA, quoted
// attribute values), so that nothing it nests escapes the count.
std::optional<PlistLimitBreach> PlistLimitBreachOf(const QByteArray& bytes);

}  // namespace quillet
