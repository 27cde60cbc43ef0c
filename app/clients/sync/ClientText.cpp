#include "app/clients/sync/ClientText.h"

namespace quillet {

namespace {

bool IsCarried(char16_t unit) {
    if (unit < 0x20)
        return unit == u'\t' || unit == u'\n' || unit == u'\r';
    return unit != 0xFFFE && unit != 0xFFFF;
}

// The length of the character at `i` (2 for a surrogate pair), or 0 when it is not carried.
qsizetype CarriedLength(const QString& text, qsizetype i) {
    const QChar c = text[i];
    if (c.isHighSurrogate())
        return i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 0;
    return !c.isSurrogate() && IsCarried(c.unicode()) ? 1 : 0;
}

}  // namespace

bool HasTextForClients(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (CarriedLength(text, i) > 0)
            return true;
    }
    return false;
}

QString TextForClients(const QString& text) {
    qsizetype i = 0;
    for (qsizetype length; i < text.size() && (length = CarriedLength(text, i)) > 0; i += length) {
    }
    // Nearly every text is carried whole: it is handed back without a copy.
    if (i == text.size())
        return text;
    QString result = text.left(i);
    while (i < text.size()) {
        const qsizetype length = CarriedLength(text, i);
        result.append(QStringView(text).mid(i, length));
        i += length > 0 ? length : 1;
    }
    return result;
}

}  // namespace quillet
