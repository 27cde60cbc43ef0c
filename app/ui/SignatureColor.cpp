#include "app/ui/SignatureColor.h"

namespace quillet {

const std::array<SignatureColor, kSignatureColorCount>& SignatureColors() {
    static const std::array<SignatureColor, kSignatureColorCount> colors = {{
        {QColor(0xEFA3BA), QColor(0xD692A6)},
        {QColor(0xECA3E1), QColor(0xD492CA)},
        {QColor(0x9EB0EB), QColor(0x8C9CD1)},
        {QColor(0xA0E5EB), QColor(0x8ECCD1)},
        {QColor(0xA7E3C8), QColor(0x95C9B2)},
        {QColor(0xCBE8B7), QColor(0xB5CFA3)},
        {QColor(0xF4F2B2), QColor(0xDBD9A0)},
        {QColor(0xFCCCB1), QColor(0xE3B89F)},
        {QColor(0xFBA7A7), QColor(0xE09696)},
        {QColor(0xD8D8D8), QColor(0xBFBFBF)},
        {QColor(0xA9A9A9), QColor(0x8F8F8F)},
        {QColor(0x757575), QColor(0x5C5C5C)},
        {QColor(0x748CD7), QColor(0x667CBD)},
    }};
    return colors;
}

int WrapSignatureColorIndex(std::int64_t index) {
    const std::int64_t wrapped = index % kSignatureColorCount;
    return static_cast<int>(wrapped < 0 ? wrapped + kSignatureColorCount : wrapped);
}

const SignatureColor& SignatureColorAt(std::int64_t index) {
    return SignatureColors()[static_cast<size_t>(WrapSignatureColorIndex(index))];
}

}  // namespace quillet
