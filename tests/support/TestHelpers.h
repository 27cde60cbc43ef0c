#pragma once
// Small helpers that several tests share.

#include <QString>
#include <QStringList>
#include <optional>
#include <ostream>

#include "common/Accounts.h"

struct sqlite3;

// Texts and lists of texts in failure messages as text, not as arrays of code units.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '[' << texts.join(" | ").toStdString() << ']';
}

namespace quillet {

// The descriptions of the accounts, in order; none for an absent list.
QStringList Descriptions(const std::optional<Accounts>& accounts);

// Runs the statements and returns every result row, its columns joined by "|" and NULL as
// "NULL"; a failing statement fails the test.
QStringList QuerySqliteRows(sqlite3* database, const QString& sql);

// The permission bits of the file or folder (of a link itself, not what it points to); 0 when
// there is none.
unsigned FileMode(const QString& path);

}  // namespace quillet
