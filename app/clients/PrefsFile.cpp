#include "app/clients/PrefsFile.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include "platform/AtomicFile.h"

namespace quillet {

namespace {

const QString kPrefsLineStart = QStringLiteral("user_pref(\"");
const QString kKeyEnd = QStringLiteral("\", ");
const QString kLineEnd = QStringLiteral(");");

int HexValue(QChar c) {
    if (c >= '0' && c <= '9')
        return c.unicode() - '0';
    if (c >= 'a' && c <= 'f')
        return c.unicode() - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c.unicode() - 'A' + 10;
    return -1;
}

// The code unit of `count` hex digits at text[from], or -1 when they are not all there.
int HexUnit(const QString& text, qsizetype from, int count) {
    if (from + count > text.size())
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const int digit = HexValue(text[from + i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

std::optional<QStringList> ReadPrefsFileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    // A byte-order mark is kept as a character, so that an unchanged file is written back as it
    // was read.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.mid(start));
    return lines;
}

bool WritePrefsFileLines(const QString& path, const QStringList& lines) {
    return WriteFileAtomically(path, lines.join('\n').toUtf8());
}

std::optional<MozillaBasedClientParsedPrefsLine> ParsePrefsLine(const QString& line) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(kPrefsLineStart))
        return std::nullopt;
    const qsizetype keyEnd = trimmed.indexOf(kKeyEnd, kPrefsLineStart.size());
    if (keyEnd < 0)
        return std::nullopt;
    QString key = trimmed.mid(kPrefsLineStart.size(), keyEnd - kPrefsLineStart.size()).trimmed();
    if (key.isEmpty())
        return std::nullopt;
    const qsizetype valueStart = keyEnd + kKeyEnd.size();
    if (!trimmed.endsWith(kLineEnd) || trimmed.size() - kLineEnd.size() < valueStart) {
        return std::nullopt;
    }
    QString rawValue =
        trimmed.mid(valueStart, trimmed.size() - kLineEnd.size() - valueStart).trimmed();
    if (rawValue.isEmpty())
        return std::nullopt;
    return MozillaBasedClientParsedPrefsLine{std::move(key), std::move(rawValue)};
}

QString UnescapePrefsString(const QString& escaped) {
    QString text;
    text.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped[i];
        if (c != '\\' || i + 1 == escaped.size()) {
            text.append(c);
            continue;
        }
        const QChar next = escaped[i + 1];
        int unit = -1;
        qsizetype length = 2;
        switch (next.unicode()) {
            case '"':
                unit = '"';
                break;
            case '\'':
                unit = '\'';
                break;
            case '\\':
                unit = '\\';
                break;
            case 'n':
                unit = '\n';
                break;
            case 'r':
                unit = '\r';
                break;
            case 'x':
                unit = HexUnit(escaped, i + 2, 2);
                length = 4;
                break;
            case 'u':
                // A character beyond the first plane arrives as two \u escapes, one per
                // surrogate; appending the units one by one pairs them again.
                unit = HexUnit(escaped, i + 2, 4);
                length = 6;
                break;
            default:
                break;
        }
        if (unit < 0) {
            // Mozilla refuses the whole file here; keeping the text as written loses nothing.
            text.append(c);
            continue;
        }
        text.append(QChar(static_cast<char16_t>(unit)));
        i += length - 1;
    }
    return text;
}

QString PrefsStringRawValue(const QString& text) {
    QString raw;
    raw.reserve(text.size() + 2);
    raw.append('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '\\':
                raw.append(QStringLiteral("\\\\"));
                break;
            case '"':
                raw.append(QStringLiteral("\\\""));
                break;
            case '\n':
                raw.append(QStringLiteral("\\n"));
                break;
            case '\r':
                raw.append(QStringLiteral("\\r"));
                break;
            default:
                raw.append(c);
        }
    }
    raw.append('"');
    return raw;
}

std::optional<QString> GetPrefsStringValue(const QStringList& lines, const QString& key) {
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (!lines[i].contains(key))
            continue;  // cheap test before the parse
        const auto parsed = ParsePrefsLine(lines[i]);
        if (!parsed || parsed->key != key)
            continue;
        const QString& raw = parsed->rawValue;
        if (raw.size() < 2 || !raw.startsWith('"') || !raw.endsWith('"'))
            return std::nullopt;
        return UnescapePrefsString(raw.mid(1, raw.size() - 2));
    }
    return std::nullopt;
}

QString PrefsLine(const QString& key, const QString& rawValue) {
    return kPrefsLineStart + key + kKeyEnd + rawValue + kLineEnd;
}

QStringList SetPrefsLines(const QStringList& lines, const std::vector<PrefsLineSetting>& settings) {
    // One entry per key: a key set twice keeps its first place and its last value, as two
    // single settings would.
    QHash<QString, int> keyToEntry;
    std::vector<const PrefsLineSetting*> entries;
    std::vector<QString> newLines;
    for (const PrefsLineSetting& setting : settings) {
        const auto found = keyToEntry.constFind(setting.key);
        if (found != keyToEntry.constEnd()) {
            newLines[*found] = PrefsLine(setting.key, setting.rawValue);
            continue;
        }
        keyToEntry.insert(setting.key, static_cast<int>(entries.size()));
        entries.push_back(&setting);
        newLines.push_back(PrefsLine(setting.key, setting.rawValue));
    }
    // A key belongs to a group when it begins with the prefix; looking up the key's beginnings of
    // each prefix length keeps the pass linear however many groups there are.
    QSet<QString> prefixes;
    std::set<qsizetype> prefixLengths;
    for (const PrefsLineSetting* entry : entries) {
        prefixes.insert(entry->groupPrefix);
        prefixLengths.insert(entry->groupPrefix.size());
    }

    enum class Fate { keep, replace, drop };
    std::vector<Fate> fates(lines.size(), Fate::keep);
    std::vector<int> replacingEntry(lines.size(), -1);
    std::vector<bool> replaced(entries.size(), false);
    QHash<QString, qsizetype> groupToLastLine;
    qsizetype lastPrefsLine = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto parsed = ParsePrefsLine(lines[i]);
        if (!parsed)
            continue;
        lastPrefsLine = i;
        for (const qsizetype length : prefixLengths) {
            if (parsed->key.size() < length)
                break;
            const QString beginning = parsed->key.left(length);
            if (prefixes.contains(beginning))
                groupToLastLine.insert(beginning, i);
        }
        const auto found = keyToEntry.constFind(parsed->key);
        if (found == keyToEntry.constEnd())
            continue;
        if (replaced[*found]) {
            fates[i] = Fate::drop;
        } else {
            replaced[*found] = true;
            fates[i] = Fate::replace;
            replacingEntry[i] = *found;
        }
    }

    // New lines by the line they follow; -1 stands for the end of the file.
    QHash<qsizetype, std::vector<int>> insertions;
    for (int e = 0; e < static_cast<int>(entries.size()); ++e) {
        if (replaced[e])
            continue;
        const qsizetype after = groupToLastLine.value(entries[e]->groupPrefix, lastPrefsLine);
        insertions[after].push_back(e);
    }

    QStringList result;
    result.reserve(lines.size() + static_cast<qsizetype>(entries.size()));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        switch (fates[i]) {
            case Fate::keep:
                result.append(lines[i]);
                break;
            case Fate::replace:
                result.append(newLines[replacingEntry[i]]);
                break;
            case Fate::drop:
                break;
        }
        if (const auto found = insertions.constFind(i); found != insertions.constEnd()) {
            for (const int e : *found)
                result.append(newLines[e]);
        }
    }
    if (const auto found = insertions.constFind(-1); found != insertions.constEnd()) {
        for (const int e : *found)
            result.append(newLines[e]);
    }
    return result;
}

QStringList SetPrefsLine(const QStringList& lines, const QString& key, const QString& rawValue,
                         const QString& groupPrefix) {
    return SetPrefsLines(lines, {PrefsLineSetting{key, rawValue, groupPrefix}});
}

QStringList RemovePrefsLines(const QStringList& lines, const std::set<QString>& keys) {
    QStringList result;
    result.reserve(lines.size());
    for (const QString& line : lines) {
        const auto parsed = ParsePrefsLine(line);
        if (parsed && keys.count(parsed->key))
            continue;
        result.append(line);
    }
    return result;
}

QStringList RemovePrefsLines(const QStringList& lines, const QString& key) {
    return RemovePrefsLines(lines, std::set<QString>{key});
}

QStringList RegexFirstGroups(const QRegularExpression& expression, const QString& text) {
    QStringList groups;
    if (!expression.isValid())
        return groups;
    auto matches = expression.globalMatch(text);
    while (matches.hasNext()) {
        const auto match = matches.next();
        if (match.lastCapturedIndex() < 1 || match.capturedStart(1) < 0)
            continue;
        groups.append(match.captured(1));
    }
    return groups;
}

QStringList RegexFirstGroups(const QString& pattern, const QString& text) {
    return RegexFirstGroups(QRegularExpression(pattern), text);
}

}  // namespace quillet
