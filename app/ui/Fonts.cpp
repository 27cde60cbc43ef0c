#include "app/ui/Fonts.h"

#include <QFontDatabase>

namespace quillet {

namespace {
const QString kFamily = "Plus Jakarta Sans";
}

void LoadBundledFonts() {
    static const bool loaded = [] {
        bool any = false;
        for (const char* file :
             {":/fonts/PlusJakartaSans-Light.ttf", ":/fonts/PlusJakartaSans-SemiBold.ttf"}) {
            any = QFontDatabase::addApplicationFont(file) >= 0 || any;
        }
        return any;
    }();
    (void)loaded;
}

QFont BodyFont(int pointSize, QFont::Weight weight) {
    LoadBundledFonts();
    QFont font(kFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    font.setWeight(weight);
    return font;
}

QFont TitleFont() {
    return BodyFont(16, QFont::Light);
}

QFont SymbolFont() {
    return BodyFont(24, QFont::DemiBold);
}

}  // namespace quillet
