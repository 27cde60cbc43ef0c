#pragma once
// An earlier application's signature store ("DataV1" / "SignatureModel.sqlite"), as the tests of
// the migration need it.

#include <QString>
#include <QStringList>

namespace quillet {

// Runs statements on the file at path and returns every result row, its columns joined by "|"
// and NULL as "NULL". With keepWriteAheadLog the changes stay in the "-wal" companion, as when
// the application was ended before a checkpoint.
QStringList Sql(const QString& path, const QString& sql, bool keepWriteAheadLog = false);

inline const QString kMailUuid = "0D5E7B52-8A51-4C3F-9A0B-2C7B6E0F1A11";
inline const QString kSparkUuid = "6F1C2D3E-4A5B-4C6D-8E7F-901A2B3C4D5E";

// A "DataV1" store as the earlier application's Core Data wrote it: the nine records of
// tests/data/base/legacy-store.sql, which between them meet every rule of the migration.
void WriteLegacyStore(const QString& path, bool keepWriteAheadLog = false);

}  // namespace quillet
