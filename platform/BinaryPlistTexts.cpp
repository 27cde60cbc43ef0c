#include "platform/BinaryPlistTexts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quillet {
namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr std::uint64_t kTrailerSize = 32;
constexpr std::uint8_t kAsciiString = 0x5;
constexpr std::uint8_t kUtf16String = 0x6;

// The bytes as libplist reads them: every number is big-endian, and one wider than eight bytes
// is read from its last eight.
class BinaryPlistBytes {
public:
    explicit BinaryPlistBytes(const QByteArray& bytes)
        : _data(reinterpret_cast<const std::uint8_t*>(bytes.constData())),
          _size(static_cast<std::uint64_t>(bytes.size())) {}

    std::optional<std::uint64_t> number(std::uint64_t offset, std::uint64_t width) const {
        if (width == 0 || offset > _size || width > _size - offset)
            return std::nullopt;
        const std::uint64_t skipped = width > 8 ? width - 8 : 0;
        std::uint64_t value = 0;
        for (std::uint64_t i = skipped; i < width; ++i)
            value = (value << 8) | _data[offset + i];
        return value;
    }

    std::uint8_t at(std::uint64_t offset) const { return _data[offset]; }
    std::uint64_t size() const { return _size; }

private:
    const std::uint8_t* _data;
    std::uint64_t _size;
};

// Where the NUL characters are: NUL bytes, and pairs of them starting at even and at odd
// offsets (a UTF-16 string may start at either).
class NulPositions {
public:
    explicit NulPositions(const BinaryPlistBytes& bytes) {
        for (std::uint64_t i = 0; i < bytes.size(); ++i) {
            if (bytes.at(i) != 0)
                continue;
            _bytes.push_back(i);
            if (i + 1 < bytes.size() && bytes.at(i + 1) == 0)
                _pairs[i % 2].push_back(i);
        }
    }

    // Whether [start, start + count * unit) holds a NUL character of that unit (1 or 2 bytes).
    bool anyWithin(std::uint64_t start, std::uint64_t count, std::uint64_t unit) const {
        const std::vector<std::uint64_t>& positions = unit == 1 ? _bytes : _pairs[start % 2];
        const auto first = std::lower_bound(positions.begin(), positions.end(), start);
        return first != positions.end() && (*first - start) / unit < count;
    }

private:
    std::vector<std::uint64_t> _bytes;
    std::array<std::vector<std::uint64_t>, 2> _pairs;
};

// The string object at the offset, as libplist reads one: the marker's high half is its type,
// the low half its length, or 15 and an integer object with the length follows.
bool StringHoldsNul(const BinaryPlistBytes& bytes, const NulPositions& nuls, std::uint64_t offset) {
    const std::uint8_t type = bytes.at(offset) >> 4;
    if (type != kAsciiString && type != kUtf16String)
        return false;
    std::uint64_t length = bytes.at(offset) & 0x0Fu;
    std::uint64_t contents = offset + 1;
    if (length == 0x0F) {
        if (contents >= bytes.size() || bytes.at(contents) >> 4 != 0x1)
            return false;
        const std::uint64_t width = std::uint64_t{1} << (bytes.at(contents) & 0x0Fu);
        const auto read = bytes.number(contents + 1, width);
        if (!read)
            return false;
        length = *read;
        contents += 1 + width;
    }
    const std::uint64_t unit = type == kUtf16String ? 2 : 1;
    // A string running past the end is damaged anyway: what of it is there still counts.
    return nuls.anyWithin(contents, std::min(length, (bytes.size() - contents) / unit), unit);
}

}  // namespace

bool BinaryPlistHasTextWithNul(const QByteArray& bytes) {
    if (!bytes.startsWith(QByteArray::fromRawData(kMagic.data(), kMagic.size())))
        return false;
    const BinaryPlistBytes plist(bytes);
    if (plist.size() < kMagic.size() + kTrailerSize)
        return false;
    const std::uint64_t trailer = plist.size() - kTrailerSize;
    const std::uint64_t offsetSize = plist.at(trailer + 6);
    const std::uint64_t objectCount = *plist.number(trailer + 8, 8);
    const std::uint64_t offsetTable = *plist.number(trailer + 24, 8);
    if (offsetSize == 0 || offsetTable >= plist.size())
        return false;
    const NulPositions nuls(plist);
    // Only the entries that lie in the file: libplist cannot read others either.
    const std::uint64_t entries = std::min(objectCount, (plist.size() - offsetTable) / offsetSize);
    for (std::uint64_t index = 0; index < entries; ++index) {
        const std::uint64_t offset = *plist.number(offsetTable + index * offsetSize, offsetSize);
        if (offset < plist.size() && StringHoldsNul(plist, nuls, offset))
            return true;
    }
    return false;
}

}  // namespace quillet
