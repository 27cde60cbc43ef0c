#include "common/Text.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <algorithm>

namespace quillet {

QString TrimmedText(const QString& text) {
    return text.trimmed();
}

QString NormaliseTypedText(const QString& text) {
    QString result = text;
    result.remove('\n').remove('\r').remove('\t');
    return result.trimmed();
}

int CharacterCount(const QString& text) {
    // Every ASCII character but a carriage return (which joins a following line feed) is a
    // grapheme of its own: the log describes every loaded signature's texts, mostly ASCII HTML,
    // and the boundary finder costs far more than a look at each character.
    const bool plain = std::all_of(text.cbegin(), text.cend(),
                                   [](QChar c) { return c.unicode() < 0x80 && c != u'\r'; });
    if (plain)
        return int(text.size());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString CanonicalUuidText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> ParseUuid(const QString& text) {
    const QUuid uuid = QUuid::fromString(text.trimmed());
    if (uuid.isNull())
        return std::nullopt;
    return uuid;
}

std::optional<QString> DecodeUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

QString FileSignatureName(const QDateTime& t) {
    return QString::asprintf("qlt%02d%02d%02d%02d%02d%02d", t.time().second(), t.time().minute(),
                             t.time().hour(), t.date().day(), t.date().month(),
                             t.date().year() % 100);
}

}  // namespace quillet
