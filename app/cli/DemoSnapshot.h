#pragma once
// What the demo shows after each step: the files of the sample Mac that changed, each with the
// lines that went and came. Property lists are compared as XML and SQLite databases as their
// rows, so that every client's storage reads as text.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>

namespace quillet {

class DemoSnapshot {
public:
    // Every file below the folders, by path; Quillet's own data and logs are not read.
    static DemoSnapshot Take(const QStringList& folders, const QStringList& skippedFolders);

    // "changed PATH" / "created PATH" / "removed PATH", each followed by its "- " and "+ "
    // lines; paths are shown relative to `base`.
    QStringList changesSince(const DemoSnapshot& before, const QString& base) const;

private:
    std::map<QString, QStringList> _files;  // path -> readable lines
};

// The readable lines of a file's contents (text, property list as XML, SQLite rows).
QStringList ReadableLines(const QString& path, const QByteArray& contents);

}  // namespace quillet
