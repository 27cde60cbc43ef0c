#pragma once
// The palette of signature colours: a signature's colour index is a position in it.

#include <QColor>
#include <array>
#include <cstdint>

namespace quillet {

struct SignatureColor {
    QColor main;
    QColor pressed;
};

inline constexpr int kSignatureColorCount = 13;

const std::array<SignatureColor, kSignatureColorCount>& SignatureColors();
// The entry for a stored index; an index outside the palette wraps around (negative ones too)
// instead of reading past it.
const SignatureColor& SignatureColorAt(std::int64_t index);
int WrapSignatureColorIndex(std::int64_t index);

}  // namespace quillet
