#pragma once
// Small helpers that several tests share.

#include <QString>
#include <QStringList>
#include <optional>

#include "common/Accounts.h"

struct sqlite3;

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
