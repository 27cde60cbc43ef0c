#pragma once
// The prefs.js file of Thunderbird and Postbox, held as a list of lines: reading and writing the
// file, parsing "user_pref(KEY, VALUE);" lines, and setting and removing preferences in one pass
// over the lines. Lines that are not preference lines (comments, "pref(" forms, blank lines) stay
// unchanged under every operation. Reading fails (absent) for a missing or non-UTF-8 file, and for
// one that cannot be read to its end.

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <optional>
#include <set>
#include <vector>

namespace quillet {

// The whole file, split at line feeds and carriage returns only: Mozilla writes U+2028, U+2029,
// U+0085 and the other Unicode separators raw inside string values, so they stay in their line.
// A carriage-return line-feed pair yields an empty line between.
std::optional<QStringList> ReadPrefsFileLines(const QString& path);
// The same lines from the file's bytes; absent when they are not UTF-8.
std::optional<QStringList> SplitPrefsFileText(const QByteArray& bytes);
// The file's bytes: the lines joined with line feeds.
QByteArray PrefsFileContents(const QStringList& lines);
// Writes PrefsFileContents atomically; false when writing failed.
bool WritePrefsFileLines(const QString& path, const QStringList& lines);

struct MozillaBasedClientParsedPrefsLine {
    QString key;       // trimmed, never empty
    QString rawValue;  // as written: quotation marks and escapes included; trimmed, never empty
};

// A line of the form user_pref("KEY", VALUE); (one or more blanks after the comma); absent for
// any other line.
std::optional<MozillaBasedClientParsedPrefsLine> ParsePrefsLine(const QString& line);

// The raw value (as written: quotation marks and escapes included) of the last preference line
// with exactly this key; absent when there is none.
std::optional<QString> GetPrefsRawValue(const QStringList& lines, const QString& key);
// The text of a raw string value (between quotation marks) with its escapes undone; absent for
// any other value.
std::optional<QString> PrefsStringOfRawValue(const QString& rawValue);
// The text of the last string preference with exactly this key, with every escape that Mozilla's
// parser accepts undone; absent when there is none or its value is not a quoted string.
std::optional<QString> GetPrefsStringValue(const QStringList& lines, const QString& key);

// A string value as Mozilla's own writer puts it in prefs.js: between quotation marks, with
// backslash, quotation mark, line feed and carriage return escaped and nothing else.
QString PrefsStringRawValue(const QString& text);
// The inverse of Mozilla's parser for the text between the quotation marks: \" \' \\ \n \r \xHH
// and \uXXXX are undone; any other backslash stays as written.
QString UnescapePrefsString(const QString& escaped);

// "user_pref(\"KEY\", RAW);"
QString PrefsLine(const QString& key, const QString& rawValue);

struct PrefsLineSetting {
    QString key;
    QString rawValue;
    QString groupPrefix;  // where a new line goes: after the last line whose key begins with it
};

// Sets each preference in order, giving exactly the lines that SetPrefsLine one setting after
// the other gives, in one pass over the lines however many settings there are. Each key and raw
// value must make a line that reads back as that key: a key without quotation marks or line
// breaks, a raw value without line breaks, both trimmed and not empty (what PrefsLine and
// PrefsStringRawValue make of Mozilla keys and values).
QStringList SetPrefsLines(const QStringList& lines, const std::vector<PrefsLineSetting>& settings);
// Sets one preference: its first line is replaced and later lines with the key are dropped; a
// key without a line gets a new one right after the last line of its group (lines whose key
// begins with the group prefix), else after the last preference line, else at the end.
QStringList SetPrefsLine(const QStringList& lines, const QString& key, const QString& rawValue,
                         const QString& groupPrefix);

// Drops every preference line whose key is one of the keys; one pass.
QStringList RemovePrefsLines(const QStringList& lines, const std::set<QString>& keys);
QStringList RemovePrefsLines(const QStringList& lines, const QString& key);

// The first capture group of every match, left to right; matches whose first group did not take
// part are left out; an invalid pattern yields nothing.
QStringList RegexFirstGroups(const QString& pattern, const QString& text);
// The same with a compiled expression, for a pattern applied to many lines.
QStringList RegexFirstGroups(const QRegularExpression& expression, const QString& text);

}  // namespace quillet
