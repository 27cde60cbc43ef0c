#include "app/clients/PrefsFile.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <map>
#include <unordered_map>

#include "platform/AtomicFile.h"
#include "platform/WholeFile.h"

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
    // A read that stopped early gives part of the file; written back, that would lose the rest.
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    if (!bytes)
        return std::nullopt;
    return SplitPrefsFileText(*bytes);
}

std::optional<QStringList> SplitPrefsFileText(const QByteArray& bytes) {
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

QByteArray PrefsFileContents(const QStringList& lines) {
    return lines.join('\n').toUtf8();
}

bool WritePrefsFileLines(const QString& path, const QStringList& lines) {
    return !WriteFileAtomicallyOrFail(path, PrefsFileContents(lines));
}

namespace {

struct PrefsLineView {
    QStringView key;
    QStringView rawValue;
};

// The parse without copies: most lines of a large file are looked at only.
std::optional<PrefsLineView> ParsePrefsLineView(const QString& line) {
    const QStringView trimmed = QStringView(line).trimmed();
    if (!trimmed.startsWith(kPrefsLineStart))
        return std::nullopt;
    const qsizetype keyEnd = trimmed.indexOf(kKeyEnd, kPrefsLineStart.size());
    if (keyEnd < 0)
        return std::nullopt;
    const QStringView key =
        trimmed.mid(kPrefsLineStart.size(), keyEnd - kPrefsLineStart.size()).trimmed();
    if (key.isEmpty())
        return std::nullopt;
    const qsizetype valueStart = keyEnd + kKeyEnd.size();
    if (!trimmed.endsWith(kLineEnd) || trimmed.size() - kLineEnd.size() < valueStart) {
        return std::nullopt;
    }
    const QStringView rawValue =
        trimmed.mid(valueStart, trimmed.size() - kLineEnd.size() - valueStart).trimmed();
    if (rawValue.isEmpty())
        return std::nullopt;
    return PrefsLineView{key, rawValue};
}

// Lookups by a view of a key, without making a text of it first.
struct TextHash {
    using is_transparent = void;
    size_t operator()(QStringView text) const { return qHash(text); }
};
struct TextEqual {
    using is_transparent = void;
    bool operator()(QStringView a, QStringView b) const { return a == b; }
};
template <typename Value>
using TextMap = std::unordered_map<QString, Value, TextHash, TextEqual>;

}  // namespace

std::optional<MozillaBasedClientParsedPrefsLine> ParsePrefsLine(const QString& line) {
    const auto view = ParsePrefsLineView(line);
    if (!view)
        return std::nullopt;
    return MozillaBasedClientParsedPrefsLine{view->key.toString(), view->rawValue.toString()};
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

std::optional<QString> GetPrefsRawValue(const QStringList& lines, const QString& key) {
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (!lines[i].contains(key))
            continue;  // cheap test before the parse
        const auto parsed = ParsePrefsLineView(lines[i]);
        if (parsed && parsed->key == key)
            return parsed->rawValue.toString();
    }
    return std::nullopt;
}

std::optional<QString> PrefsStringOfRawValue(const QString& rawValue) {
    if (rawValue.size() < 2 || !rawValue.startsWith('"') || !rawValue.endsWith('"'))
        return std::nullopt;
    return UnescapePrefsString(rawValue.mid(1, rawValue.size() - 2));
}

std::optional<QString> GetPrefsStringValue(const QStringList& lines, const QString& key) {
    const auto raw = GetPrefsRawValue(lines, key);
    return raw ? PrefsStringOfRawValue(*raw) : std::nullopt;
}

QString PrefsLine(const QString& key, const QString& rawValue) {
    return kPrefsLineStart + key + kKeyEnd + rawValue + kLineEnd;
}

namespace {

// The one-pass form of setting preferences one after the other. The lines are parsed once; the
// settings are then applied in order to a small model of the result: which lines are replaced
// or dropped, and the new lines, each hanging after the line (or new line) it follows. Every
// setting sees the lines that the settings before it added or dropped, exactly as when the lines
// are set one by one.
class PrefsLinesEditor {
public:
    PrefsLinesEditor(const QStringList& lines, const std::vector<PrefsLineSetting>& settings)
        : _lines(lines), _dropped(lines.size(), false) {
        collectKeysAndGroups(settings);
        readLines();
    }

    void apply(const PrefsLineSetting& setting) {
        const auto known = _keyToEntry.constFind(setting.key);
        if (known != _keyToEntry.constEnd()) {
            _entryLines[*known] = PrefsLine(setting.key, setting.rawValue);
            return;
        }
        const int entry = static_cast<int>(_entryLines.size());
        _keyToEntry.insert(setting.key, entry);
        _entryKeys.push_back(setting.key);
        _entryLines.push_back(PrefsLine(setting.key, setting.rawValue));
        const std::vector<qsizetype>& keyLines = _keyToLines[setting.key];
        if (!keyLines.empty()) {
            _replacement[keyLines.front()] = entry;
            for (size_t i = 1; i < keyLines.size(); ++i)
                _dropped[keyLines[i]] = true;
            return;
        }
        insertAfter(lastPlace(&setting.groupPrefix), entry);
    }

    QStringList result() const {
        QStringList result;
        result.reserve(_lines.size() + static_cast<qsizetype>(_entryLines.size()));
        appendChain(result, -1);
        for (qsizetype i = 0; i < _lines.size(); ++i) {
            const auto replaced = _replacement.find(i);
            if (!_dropped[i])
                result.append(replaced != _replacement.end() ? _entryLines[replaced->second]
                                                             : _lines[i]);
            appendChain(result, i);
        }
        return result;
    }

private:
    // A place in the result: an original line (chainIndex -1) or the new line at that index of
    // the chain hanging after the original line.
    struct Place {
        qsizetype line = -1;
        qsizetype chainIndex = -1;
        bool found = false;
        bool operator<(const Place& other) const {
            return line != other.line ? line < other.line : chainIndex < other.chainIndex;
        }
    };

    void collectKeysAndGroups(const std::vector<PrefsLineSetting>& settings) {
        for (const PrefsLineSetting& setting : settings) {
            _keyToLines[setting.key];
            _groupToLines[setting.groupPrefix];
            _prefixLengths.insert(setting.groupPrefix.size());
        }
    }

    void readLines() {
        for (qsizetype i = 0; i < _lines.size(); ++i) {
            const auto parsed = ParsePrefsLineView(_lines[i]);
            if (!parsed)
                continue;
            for (const qsizetype length : _prefixLengths) {
                if (parsed->key.size() < length)
                    break;
                const auto group = _groupToLines.find(parsed->key.left(length));
                if (group != _groupToLines.end())
                    group->second.push_back(i);
            }
            const auto key = _keyToLines.find(parsed->key);
            if (key != _keyToLines.end())
                key->second.push_back(i);
        }
    }

    // The last line still in the result among these (ascending) lines.
    Place lastLiveLine(const std::vector<qsizetype>& lines) const {
        for (auto i = lines.rbegin(); i != lines.rend(); ++i) {
            if (!_dropped[*i])
                return Place{*i, -1, true};
        }
        return Place{};
    }

    // Looked for from the end only when needed: a new group is rare, and a list of every
    // preference line would cost a large file more than this walk.
    Place lastLivePrefsLine() const {
        for (qsizetype i = _lines.size() - 1; i >= 0; --i) {
            if (!_dropped[i] && ParsePrefsLineView(_lines[i]))
                return Place{i, -1, true};
        }
        return Place{};
    }

    // The last new line, of the group when one is given.
    Place lastNewLine(const QString* groupPrefix) const {
        Place last;
        for (const auto& [line, chain] : _chains) {
            for (qsizetype j = 0; j < static_cast<qsizetype>(chain.size()); ++j) {
                if (groupPrefix && !_entryKeys[chain[j]].startsWith(*groupPrefix))
                    continue;
                const Place place{line, j, true};
                if (!last.found || last < place)
                    last = place;
            }
        }
        return last;
    }

    static Place Later(const Place& a, const Place& b) {
        if (!a.found)
            return b;
        if (!b.found)
            return a;
        return a < b ? b : a;
    }

    // Where a new line of the group goes after: the group's last line, else the last
    // preference line, else the end of the file.
    Place lastPlace(const QString* groupPrefix) const {
        const Place group =
            Later(lastLiveLine(_groupToLines.at(*groupPrefix)), lastNewLine(groupPrefix));
        if (group.found)
            return group;
        const Place any = Later(lastLivePrefsLine(), lastNewLine(nullptr));
        if (any.found)
            return any;
        const qsizetype end = _lines.size() - 1;
        const auto chain = _chains.find(end);
        return Place{end,
                     chain == _chains.end() ? -1 : static_cast<qsizetype>(chain->second.size()) - 1,
                     true};
    }

    void insertAfter(const Place& place, int entry) {
        std::vector<int>& chain = _chains[place.line];
        chain.insert(chain.begin() + (place.chainIndex + 1), entry);
    }

    void appendChain(QStringList& result, qsizetype line) const {
        const auto chain = _chains.find(line);
        if (chain == _chains.end())
            return;
        for (const int entry : chain->second)
            result.append(_entryLines[entry]);
    }

    const QStringList& _lines;
    std::vector<bool> _dropped;
    std::unordered_map<qsizetype, int> _replacement;  // line to the entry whose line replaces it
    TextMap<std::vector<qsizetype>> _keyToLines;
    TextMap<std::vector<qsizetype>> _groupToLines;
    std::set<qsizetype> _prefixLengths;
    QHash<QString, int> _keyToEntry;
    std::vector<QString> _entryKeys;
    std::vector<QString> _entryLines;
    std::map<qsizetype, std::vector<int>> _chains;  // new lines after each line; -1: before all
};

}  // namespace

QStringList SetPrefsLines(const QStringList& lines, const std::vector<PrefsLineSetting>& settings) {
    PrefsLinesEditor editor(lines, settings);
    for (const PrefsLineSetting& setting : settings)
        editor.apply(setting);
    return editor.result();
}

QStringList SetPrefsLine(const QStringList& lines, const QString& key, const QString& rawValue,
                         const QString& groupPrefix) {
    const QString newLine = PrefsLine(key, rawValue);
    QStringList result;
    result.reserve(lines.size() + 1);
    bool replaced = false;
    qsizetype afterGroup = -1;
    qsizetype afterPrefs = -1;
    for (const QString& line : lines) {
        const auto parsed = ParsePrefsLine(line);
        if (parsed && parsed->key == key) {
            if (!replaced)
                result.append(newLine);
            replaced = true;
            continue;
        }
        result.append(line);
        if (parsed) {
            afterPrefs = result.size();
            if (parsed->key.startsWith(groupPrefix))
                afterGroup = result.size();
        }
    }
    if (!replaced)
        result.insert(afterGroup >= 0   ? afterGroup
                      : afterPrefs >= 0 ? afterPrefs
                                        : result.size(),
                      newLine);
    return result;
}

QStringList RemovePrefsLines(const QStringList& lines, const std::set<QString>& keys) {
    if (keys.empty())
        return lines;
    QStringList result;
    result.reserve(lines.size());
    for (const QString& line : lines) {
        const auto parsed = ParsePrefsLineView(line);
        if (parsed && keys.count(parsed->key.toString()))
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
