#pragma once
// The application's fonts, bundled with its resources (Plus Jakarta Sans); the system's sans
// serif stands in when they cannot be loaded.

#include <QFont>

namespace quillet {

// Registers the bundled fonts once; later calls do nothing.
void LoadBundledFonts();
QFont TitleFont();   // the product name: light, 16 points
QFont SymbolFont();  // a signature's symbol: semi-bold, 24 points
QFont BodyFont(int pointSize, QFont::Weight weight = QFont::Normal);

}  // namespace quillet
