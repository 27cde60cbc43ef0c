#include "common/Text.h"

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

}  // namespace quillet
