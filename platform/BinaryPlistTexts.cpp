#include "platform/BinaryPlistTexts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/BinaryPlistLayout.h"

namespace quillet {
namespace {

// Where the NUL characters are: NUL bytes, and pairs of them starting at even and at odd
// offsets (a UTF-16 string may start at either).
class NulPositions {
public:
    explicit NulPositions(const BinaryPlistLayout& bytes) {
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

bool StringHoldsNul(const BinaryPlistLayout& plist, const NulPositions& nuls,
                    std::uint64_t offset) {
    const auto marker = plist.marker(offset);
    if (!marker || (marker->type != BinaryPlistLayout::kAsciiString &&
                    marker->type != BinaryPlistLayout::kUtf16String)) {
        return false;
    }
    const std::uint64_t unit = marker->type == BinaryPlistLayout::kUtf16String ? 2 : 1;
    const std::uint64_t available =
        (plist.size() - std::min(plist.size(), marker->contents)) / unit;
    // A string running past the end is damaged anyway: what of it is there still counts.
    return nuls.anyWithin(marker->contents, std::min(marker->length, available), unit);
}

}  // namespace

bool BinaryPlistHasTextWithNul(const QByteArray& bytes) {
    const auto plist = BinaryPlistLayout::Read(bytes);
    if (!plist)
        return false;
    const NulPositions nuls(*plist);
    for (std::uint64_t index = 0; index < plist->objectCount(); ++index) {
        const auto offset = plist->objectOffset(index);
        if (offset && StringHoldsNul(*plist, nuls, *offset))
            return true;
    }
    return false;
}

}  // namespace quillet
