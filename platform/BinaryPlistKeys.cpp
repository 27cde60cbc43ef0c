#include "platform/BinaryPlistKeys.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quillet {
namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr std::uint64_t kTrailerSize = 32;

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

struct Layout {
    std::uint8_t offsetSize = 0;
    std::uint8_t referenceSize = 0;
    std::uint64_t objectCount = 0;
    std::uint64_t offsetTable = 0;  // where objects end
};

std::optional<Layout> ReadLayout(const BinaryPlistBytes& bytes) {
    if (bytes.size() < kMagic.size() + kTrailerSize)
        return std::nullopt;
    const std::uint64_t trailer = bytes.size() - kTrailerSize;
    Layout layout;
    layout.offsetSize = bytes.at(trailer + 6);
    layout.referenceSize = bytes.at(trailer + 7);
    layout.objectCount = *bytes.number(trailer + 8, 8);
    layout.offsetTable = *bytes.number(trailer + 24, 8);
    if (layout.offsetSize == 0 || layout.referenceSize == 0 || layout.offsetTable < kMagic.size() ||
        layout.offsetTable >= trailer ||
        layout.objectCount > (trailer - layout.offsetTable) / layout.offsetSize)
        return std::nullopt;
    return layout;
}

// One object's type (the marker's high half), its count of items or characters, and where
// its contents start.
struct ObjectHeader {
    std::uint8_t type = 0;
    std::uint64_t count = 0;
    std::uint64_t contents = 0;
};

constexpr std::uint8_t kData = 0x4;
constexpr std::uint8_t kAsciiString = 0x5;
constexpr std::uint8_t kUtf16String = 0x6;
constexpr std::uint8_t kArray = 0xA;
constexpr std::uint8_t kSet = 0xC;
constexpr std::uint8_t kDictionary = 0xD;

// Objects of these types whose marker says 15 items give their count in an integer object
// that follows.
bool HasCountObject(std::uint8_t type) {
    return type == kData || type == kAsciiString || type == kUtf16String || type == kArray ||
           type == kSet || type == kDictionary;
}

std::optional<ObjectHeader> ReadObjectHeader(const BinaryPlistBytes& bytes, const Layout& layout,
                                             std::uint64_t index) {
    const auto offset =
        bytes.number(layout.offsetTable + index * layout.offsetSize, layout.offsetSize);
    if (!offset || *offset < kMagic.size() || *offset >= layout.offsetTable)
        return std::nullopt;
    const std::uint8_t marker = bytes.at(*offset);
    ObjectHeader header{static_cast<std::uint8_t>(marker >> 4), marker & 0x0Fu, *offset + 1};
    if (header.count == 0x0F && HasCountObject(header.type)) {
        // The count is an integer object of its own.
        if (header.contents >= layout.offsetTable || bytes.at(header.contents) >> 4 != 0x1)
            return std::nullopt;
        const std::uint64_t width = std::uint64_t{1} << (bytes.at(header.contents) & 0x0Fu);
        const auto count = bytes.number(header.contents + 1, width);
        if (!count)
            return std::nullopt;
        header.count = *count;
        header.contents += 1 + width;
    }
    return header;
}

enum class KeyCheck { clean, holdsNul, broken };

KeyCheck CheckKey(const BinaryPlistBytes& bytes, const Layout& layout, std::uint64_t index) {
    const auto header = ReadObjectHeader(bytes, layout, index);
    if (!header || (header->type != kAsciiString && header->type != kUtf16String))
        return KeyCheck::broken;
    const std::uint64_t unit = header->type == kUtf16String ? 2 : 1;
    if (header->count > (bytes.size() - header->contents) / unit)
        return KeyCheck::broken;
    for (std::uint64_t i = 0; i < header->count; ++i) {
        const std::uint64_t at = header->contents + i * unit;
        if (bytes.at(at) == 0 && (unit == 1 || bytes.at(at + 1) == 0))
            return KeyCheck::holdsNul;
    }
    return KeyCheck::clean;
}

// A container being walked: its references start at contents; a dictionary's keys come first,
// then its values.
struct Container {
    std::uint64_t contents = 0;
    std::uint64_t count = 0;
    bool dictionary = false;
    std::uint64_t next = 0;
};

}  // namespace

// Walks the objects as libplist reads them, from the top object, entry by entry, and stops
// where libplist would give up: the walk never costs more than libplist's own reading. Unlike
// libplist it reads an object shared by several containers once.
bool BinaryPlistHasKeyWithNul(const QByteArray& bytes) {
    if (!bytes.startsWith(QByteArray::fromRawData(kMagic.data(), kMagic.size())))
        return false;
    const BinaryPlistBytes plist(bytes);
    const auto layout = ReadLayout(plist);
    if (!layout)
        return false;
    const std::uint64_t referenceSize = layout->referenceSize;
    std::vector<bool> visited(layout->objectCount);
    std::vector<bool> keyChecked(layout->objectCount);
    std::vector<Container> path;
    // Visits an object: a container joins the path; false when libplist could not read it.
    const auto visit = [&](std::uint64_t index) {
        if (index >= layout->objectCount)
            return false;
        if (visited[index])
            return true;
        visited[index] = true;
        const auto header = ReadObjectHeader(plist, *layout, index);
        if (!header)
            return false;
        if (header->type != kDictionary && header->type != kArray && header->type != kSet)
            return true;
        // Every reference must lie in the file, or libplist refuses it.
        const std::uint64_t references = header->type == kDictionary ? 2 : 1;
        if (header->count > (plist.size() - header->contents) / referenceSize / references)
            return false;
        path.push_back({header->contents, header->count, header->type == kDictionary});
        return true;
    };
    if (!visit(*plist.number(plist.size() - kTrailerSize + 16, 8)))
        return false;
    while (!path.empty()) {
        Container& container = path.back();
        if (container.next == container.count) {
            path.pop_back();
            continue;
        }
        const std::uint64_t entry = container.next++;
        if (container.dictionary) {
            const auto key =
                plist.number(container.contents + entry * referenceSize, referenceSize);
            if (!key || *key >= layout->objectCount)
                return false;
            if (!keyChecked[*key]) {
                keyChecked[*key] = true;
                switch (CheckKey(plist, *layout, *key)) {
                    case KeyCheck::holdsNul:
                        return true;
                    case KeyCheck::broken:
                        return false;
                    case KeyCheck::clean:
                        break;
                }
            }
        }
        const std::uint64_t slot = container.dictionary ? container.count + entry : entry;
        const auto value = plist.number(container.contents + slot * referenceSize, referenceSize);
        if (!value || !visit(*value))
            return false;
    }
    return false;
}

}  // namespace quillet
