#pragma once
// The layout of a binary property list's raw bytes, read the way libplist 2.2 reads it, for the
// checks that must run before libplist does (BinaryPlistTexts, PlistLimits). Every number is
// big-endian, and one wider than eight bytes is read from its last eight.

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace quillet {

class BinaryPlistLayout {
public:
    // The object types the checks tell apart (the high half of an object's marker byte).
    static constexpr std::uint8_t kData = 0x4;
    static constexpr std::uint8_t kAsciiString = 0x5;
    static constexpr std::uint8_t kUtf16String = 0x6;
    static constexpr std::uint8_t kArray = 0xA;
    static constexpr std::uint8_t kSet = 0xC;
    static constexpr std::uint8_t kDictionary = 0xD;

    // An object's type and length: the marker's low half, or, when that is 15, the integer
    // object that follows it. `contents` is where the object's own bytes begin.
    struct Marker {
        std::uint8_t type = 0;
        std::uint64_t length = 0;
        std::uint64_t contents = 0;
    };

    // Absent when the bytes are not a binary list or its trailer describes no list (no objects,
    // zero sizes, a top object or offset table out of range): libplist refuses those too.
    static std::optional<BinaryPlistLayout> Read(const QByteArray& bytes);

    std::uint64_t size() const { return _size; }
    std::uint8_t at(std::uint64_t offset) const { return _data[offset]; }
    // The number of `width` bytes at the offset; absent when they are not all in the bytes.
    std::optional<std::uint64_t> number(std::uint64_t offset, std::uint64_t width) const;

    std::uint64_t objectCount() const { return _objectCount; }
    std::uint64_t topObject() const { return _topObject; }
    std::uint64_t referenceSize() const { return _referenceSize; }
    // Where the object of that index starts; absent when it lies outside the objects' bytes.
    std::optional<std::uint64_t> objectOffset(std::uint64_t index) const;
    // The marker of the object at the offset; absent when its length is not all there.
    std::optional<Marker> marker(std::uint64_t offset) const;

private:
    explicit BinaryPlistLayout(const QByteArray& bytes);

    const std::uint8_t* _data;
    std::uint64_t _size;
    std::uint64_t _offsetSize = 0;
    std::uint64_t _referenceSize = 0;
    std::uint64_t _objectCount = 0;
    std::uint64_t _topObject = 0;
    std::uint64_t _offsetTable = 0;
};

}  // namespace quillet
