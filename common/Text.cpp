#include "common/Text.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>

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
