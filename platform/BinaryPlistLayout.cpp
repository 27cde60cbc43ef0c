#include "platform/BinaryPlistLayout.h"

#include <string_view>

namespace quillet {

namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr std::uint64_t kTrailerSize = 32;

bool HasExtendedLength(std::uint8_t type) {
    switch (type) {
        case BinaryPlistLayout::kData:
        case BinaryPlistLayout::kAsciiString:
        case BinaryPlistLayout::kUtf16String:
        case BinaryPlistLayout::kArray:
        case BinaryPlistLayout::kSet:
        case BinaryPlistLayout::kDictionary:
            return true;
        default:
            return false;
    }
}

}  // namespace

BinaryPlistLayout::BinaryPlistLayout(const QByteArray& bytes)
    : _data(reinterpret_cast<const std::uint8_t*>(bytes.constData())),
      _size(static_cast<std::uint64_t>(bytes.size())) {}

std::optional<BinaryPlistLayout> BinaryPlistLayout::Read(const QByteArray& bytes) {
    if (!bytes.startsWith(QByteArray::fromRawData(kMagic.data(), kMagic.size())))
        return std::nullopt;
    BinaryPlistLayout layout(bytes);
    if (layout._size < kMagic.size() + kTrailerSize)
        return std::nullopt;
    const std::uint64_t trailer = layout._size - kTrailerSize;
    layout._offsetSize = layout.at(trailer + 6);
    layout._referenceSize = layout.at(trailer + 7);
    layout._objectCount = *layout.number(trailer + 8, 8);
    layout._topObject = *layout.number(trailer + 16, 8);
    layout._offsetTable = *layout.number(trailer + 24, 8);
    if (layout._objectCount == 0 || layout._offsetSize == 0 || layout._referenceSize == 0 ||
        layout._topObject >= layout._objectCount || layout._offsetTable < kMagic.size() ||
        layout._offsetTable >= trailer) {
        return std::nullopt;
    }
    // The whole offset table lies before the trailer (checked without overflowing).
    if (layout._objectCount > (trailer - layout._offsetTable) / layout._offsetSize)
        return std::nullopt;
    return layout;
}

std::optional<std::uint64_t> BinaryPlistLayout::number(std::uint64_t offset,
                                                       std::uint64_t width) const {
    if (width == 0 || offset > _size || width > _size - offset)
        return std::nullopt;
    const std::uint64_t skipped = width > 8 ? width - 8 : 0;
    std::uint64_t value = 0;
    for (std::uint64_t i = skipped; i < width; ++i)
        value = (value << 8) | _data[offset + i];
    return value;
}

std::optional<std::uint64_t> BinaryPlistLayout::objectOffset(std::uint64_t index) const {
    if (index >= _objectCount)
        return std::nullopt;
    const auto offset = number(_offsetTable + index * _offsetSize, _offsetSize);
    if (!offset || *offset < kMagic.size() || *offset >= _offsetTable)
        return std::nullopt;
    return offset;
}

std::optional<BinaryPlistLayout::Marker> BinaryPlistLayout::marker(std::uint64_t offset) const {
    if (offset >= _size)
        return std::nullopt;
    Marker marker{static_cast<std::uint8_t>(at(offset) >> 4),
                  static_cast<std::uint64_t>(at(offset) & 0x0Fu), offset + 1};
    if (marker.length != 0x0F || !HasExtendedLength(marker.type))
        return marker;
    if (marker.contents >= _size || at(marker.contents) >> 4 != 0x1)
        return std::nullopt;
    const std::uint64_t width = std::uint64_t{1} << (at(marker.contents) & 0x0Fu);
    const auto length = number(marker.contents + 1, width);
    if (!length)
        return std::nullopt;
    marker.length = *length;
    marker.contents += 1 + width;
    return marker;
}

}  // namespace quillet
