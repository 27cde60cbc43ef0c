#pragma once
// A KDE configuration file (KConfig's INI dialect: "[Group]" lines, "Key=value" lines, "#"
// comments), held as its lines so that an edit changes only the lines it must. Every other line,
// comment, blank line and key order stays byte for byte, as does the file's last line break.
//
// Values are read and written with KConfig's escapes: "\n", "\t", "\r", "\\", a leading or
// trailing blank as "\s", other control characters as "\xHH". A key that a group holds twice is
// read from its last line, as KConfig does. A new key goes where KConfig itself would write it:
// among the group's keys in byte order (KConfig writes a group's keys sorted), or after the
// group's last entry when its keys are not sorted.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quillet {

class KConfigFile {
public:
    explicit KConfigFile(const QByteArray& contents);

    QByteArray contents() const;

    // The groups in file order (a group written twice is listed once).
    QStringList groups() const;
    // The keys of a group's entry lines, each once, in file order.
    QStringList keys(const QString& group) const;
    // The unescaped value of the key's last line in the group; absent when it has none.
    std::optional<QString> value(const QString& group, const QString& key) const;
    // Replaces the value of every line of the key in the group, or adds one line. A group that
    // does not exist is not made: false then.
    bool setValue(const QString& group, const QString& key, const QString& value);
    // Removes every line of the key in the group.
    void removeKey(const QString& group, const QString& key);

private:
    struct Line {
        QByteArray text;
        QString group;  // the group the line belongs to (a group line: its own)
        bool isGroup = false;
        std::optional<QByteArray> key;  // an entry line's key, as written (trimmed)
    };
    std::vector<Line> _lines;
    bool _endsWithLineBreak = false;
};

// KConfig's escapes of a value, and their reverse.
QByteArray KConfigEscapedValue(const QString& value);
QString KConfigUnescapedValue(const QByteArray& raw);

}  // namespace quillet
