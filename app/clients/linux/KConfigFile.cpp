#include "app/clients/linux/KConfigFile.h"

#include <algorithm>

namespace quillet {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::optional<int> HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return std::nullopt;
}

// The group a "[...]" line opens: the text between the first "[" and the last "]", unescaped.
QString GroupName(const QByteArray& trimmed) {
    const qsizetype close = trimmed.lastIndexOf(']');
    return KConfigUnescapedValue(trimmed.mid(1, close > 0 ? close - 1 : -1));
}

}  // namespace

QByteArray KConfigEscapedValue(const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    QByteArray escaped;
    escaped.reserve(utf8.size() + 8);
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        switch (c) {
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '\\':
                escaped += "\\\\";
                break;
            case ' ':
                escaped += i == 0 ? QByteArray("\\s") : QByteArray(" ");
                break;
            default:
                if (static_cast<unsigned char>(c) < 32) {
                    escaped += "\\x";
                    escaped += kHexDigits[static_cast<unsigned char>(c) >> 4];
                    escaped += kHexDigits[static_cast<unsigned char>(c) & 0x0f];
                } else {
                    escaped += c;
                }
        }
    }
    // KConfig trims values when it reads them: a blank at either end must be written as "\s".
    if (escaped.endsWith(' '))
        escaped.replace(escaped.size() - 1, 1, "\\s");
    return escaped;
}

QString KConfigUnescapedValue(const QByteArray& raw) {
    QByteArray result;
    result.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            result += raw[i];
            continue;
        }
        if (++i >= raw.size()) {
            result += '\\';
            break;
        }
        switch (raw[i]) {
            case 's':
                result += ' ';
                break;
            case 't':
                result += '\t';
                break;
            case 'n':
                result += '\n';
                break;
            case 'r':
                result += '\r';
                break;
            case '\\':
                result += '\\';
                break;
            case ';':
            case ',':
                // Kept as written: list separators that only lists unescape.
                result += '\\';
                result += raw[i];
                break;
            case 'x': {
                const auto high = i + 2 < raw.size() ? HexValue(raw[i + 1]) : std::nullopt;
                const auto low = i + 2 < raw.size() ? HexValue(raw[i + 2]) : std::nullopt;
                if (high && low) {
                    result += static_cast<char>(*high * 16 + *low);
                    i += 2;
                } else {
                    result += 'x';
                }
                break;
            }
            default:
                // KConfig keeps the backslash of an escape it does not know and drops the letter.
                result += '\\';
        }
    }
    return QString::fromUtf8(result);
}

KConfigFile::KConfigFile(const QByteArray& contents) {
    QList<QByteArray> texts = contents.split('\n');
    _endsWithLineBreak = contents.endsWith('\n');
    if (_endsWithLineBreak || contents.isEmpty())
        texts.removeLast();
    QString group;  // entries before any group line belong to KConfig's "<default>" group
    for (QByteArray& text : texts) {
        Line line{std::move(text), group, false, std::nullopt};
        const QByteArray trimmed = line.text.trimmed();
        if (trimmed.startsWith('[')) {
            group = GroupName(trimmed);
            line.group = group;
            line.isGroup = true;
        } else if (!trimmed.isEmpty() && !trimmed.startsWith('#')) {
            const qsizetype equals = trimmed.indexOf('=');
            if (equals > 0)
                line.key = trimmed.left(equals).trimmed();
        }
        _lines.push_back(std::move(line));
    }
}

QByteArray KConfigFile::contents() const {
    QByteArray contents;
    for (const Line& line : _lines) {
        contents += line.text;
        contents += '\n';
    }
    if (!_endsWithLineBreak && !contents.isEmpty())
        contents.chop(1);
    return contents;
}

QStringList KConfigFile::groups() const {
    QStringList groups;
    for (const Line& line : _lines) {
        if (line.isGroup && !groups.contains(line.group))
            groups.append(line.group);
    }
    return groups;
}

QStringList KConfigFile::keys(const QString& group) const {
    QStringList keys;
    for (const Line& line : _lines) {
        if (!line.isGroup && line.key && line.group == group) {
            const QString key = QString::fromUtf8(*line.key);
            if (!keys.contains(key))
                keys.append(key);
        }
    }
    return keys;
}

std::optional<QString> KConfigFile::value(const QString& group, const QString& key) const {
    const QByteArray keyBytes = key.toUtf8();
    std::optional<QString> found;
    for (const Line& line : _lines) {
        if (line.group != group || line.key != keyBytes)
            continue;
        const QByteArray trimmed = line.text.trimmed();
        found = KConfigUnescapedValue(trimmed.mid(trimmed.indexOf('=') + 1).trimmed());
    }
    return found;
}

bool KConfigFile::setValue(const QString& group, const QString& key, const QString& value) {
    const QByteArray keyBytes = key.toUtf8();
    const QByteArray text = keyBytes + '=' + KConfigEscapedValue(value);
    bool replaced = false;
    for (Line& line : _lines) {
        if (line.group == group && line.key == keyBytes) {
            line.text = text;
            replaced = true;
        }
    }
    if (replaced)
        return true;

    // The group's last entry, and the first entry whose key sorts after this one, of the group's
    // last stretch in the file.
    std::optional<size_t> groupLine, lastEntry, firstAfter;
    bool sorted = true;
    std::optional<QByteArray> previousKey;
    for (size_t i = 0; i < _lines.size(); ++i) {
        const Line& line = _lines[i];
        if (line.group != group)
            continue;
        if (line.isGroup) {
            groupLine = i;
            lastEntry.reset();
            firstAfter.reset();
            previousKey.reset();
            sorted = true;
            continue;
        }
        if (!line.key || !groupLine)
            continue;
        if (previousKey && *previousKey > *line.key)
            sorted = false;
        previousKey = line.key;
        lastEntry = i;
        if (!firstAfter && *line.key > keyBytes)
            firstAfter = i;
    }
    if (!groupLine)
        return false;
    const size_t at =
        sorted && firstAfter ? *firstAfter : (lastEntry ? *lastEntry : *groupLine) + 1;
    _lines.insert(_lines.begin() + static_cast<std::ptrdiff_t>(at),
                  Line{text, group, false, keyBytes});
    return true;
}

void KConfigFile::removeKey(const QString& group, const QString& key) {
    const QByteArray keyBytes = key.toUtf8();
    std::erase_if(_lines,
                  [&](const Line& line) { return line.group == group && line.key == keyBytes; });
}

}  // namespace quillet
