#pragma once
// The store's file layout. Stores on people's Macs were written by the earlier application with
// Core Data, so the tables follow Core Data's SQLite layout: one Z-prefixed table per entity with
// Z_PK, Z_ENT and Z_OPT, upper-case attribute columns, ZSIGNATURE for the to-one relationship,
// and Z_PRIMARYKEY holding each entity's number and highest key. Nothing here reads Z_METADATA.

#include <QString>
#include <cstdint>
#include <optional>

struct sqlite3;

namespace quillet {

inline constexpr const char* kSignatureTable = "ZSIGNATUREENTITYV2";
inline constexpr const char* kSelectedInstallationTable = "ZSELECTEDINSTALLATIONENTITYV2";
inline constexpr const char* kPerformedInstallationTable = "ZPERFORMEDINSTALLATIONENTITYV2";
inline constexpr const char* kLegacySignatureTable = "ZSIGNATUREMODEL";
inline constexpr const char* kWebSignatureTable = "ZSAFARISIGNATUREENTITYV1";

// The signature entity a model reads and writes: the desktop store's (with its installation
// rows) or the web-mail extension's (client and account columns, no installation rows). The
// extension's model declares the desktop entities too, so its file holds their tables.
enum class SignatureEntity { desktop, webMail };

// An entity's number (Z_ENT) and the highest primary key ever given to one of its rows.
struct EntityKeys {
    std::int64_t entity = 0;
    std::int64_t max = 0;

    std::int64_t next() { return ++max; }
};

struct StoreKeys {
    EntityKeys signature;  // of the model's signature entity
    EntityKeys selectedInstallation;
    EntityKeys performedInstallation;
};

// Creates the model's tables that are missing and adds the attribute columns that an older
// file lacks, then reads the entity numbers and key maxima into *keys. The maxima also cover
// the rows themselves, so a Z_PRIMARYKEY left behind by a crash cannot lead to a key being
// given twice. Returns SQLite's description on failure.
std::optional<QString> PrepareSchema(sqlite3* database, SignatureEntity entity, StoreKeys* keys);
// Whether the file holds the "DataV1" signature table; the description when it does not.
std::optional<QString> CheckDataV1Schema(sqlite3* database);
// The names of the table's columns in upper case; absent when the table cannot be read.
std::optional<QStringList> TableColumns(sqlite3* database, const QString& table);
// Raises the key maxima to what the file holds now. Run inside the write transaction that uses
// them, so that two connections never give the same key.
std::optional<QString> ReadEntityKeyMaxima(sqlite3* database, SignatureEntity entity,
                                           StoreKeys* keys);
// Writes the key maxima back into Z_PRIMARYKEY.
std::optional<QString> WriteEntityKeyMaxima(sqlite3* database, const StoreKeys& keys);

}  // namespace quillet
