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
    // Every text of every signature is looked at whenever a pass weighs its pending work: the
    // printable units below the surrogates, nearly all of them, are passed at one comparison each.
    const char16_t* units = reinterpret_cast<const char16_t*>(text.constData());
    qsizetype i = 0;
    while (i < text.size()) {
        if (units[i] >= 0x20 && units[i] < 0xD800) {
            ++i;
            continue;
        }
        const qsizetype length = CarriedLength(text, i);
        if (length == 0)
            break;
        i += length;
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
