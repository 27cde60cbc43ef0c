// Spark's settings rows: signature rows, the ordering and the binding, as another application
// left them in "settings.sqlite". Each part of the input is one row: "S" + identifier + line feed
// + JSON for a signature, "O" + JSON for an ordering, "B" + JSON for a binding.

#include <sqlite3.h>

#include "app/clients/sync/SparkSettings.h"
#include "common/Text.h"
#include "fuzz/FuzzSupport.h"

using namespace quillet;

namespace {

sqlite3* Database() {
    static sqlite3* database = [] {
        sqlite3* opened = nullptr;
        QUILLET_FUZZ_CHECK(sqlite3_open(":memory:", &opened) == SQLITE_OK);
        QUILLET_FUZZ_CHECK(
            sqlite3_exec(opened,
                         "CREATE TABLE settings (pk INTEGER PRIMARY KEY AUTOINCREMENT, itemGroup "
                         "TEXT, itemKey TEXT, itemValue TEXT, syncDate REAL, syncStatus INTEGER)",
                         nullptr, nullptr, nullptr) == SQLITE_OK);
        return opened;
    }();
    return database;
}

void Insert(sqlite3* database, const char* group, const QByteArray& key, const QByteArray& value) {
    sqlite3_stmt* statement = nullptr;
    QUILLET_FUZZ_CHECK(sqlite3_prepare_v2(database,
                                          "INSERT INTO settings (itemGroup, itemKey, itemValue, "
                                          "syncDate, syncStatus) VALUES (?, ?, ?, 0, 0)",
                                          -1, &statement, nullptr) == SQLITE_OK);
    sqlite3_bind_text(statement, 1, group, -1, SQLITE_STATIC);
    sqlite3_bind_text(statement, 2, key.constData(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_bind_text(statement, 3, value.constData(), static_cast<int>(value.size()),
                      SQLITE_STATIC);
    QUILLET_FUZZ_CHECK(sqlite3_step(statement) == SQLITE_DONE);
    sqlite3_finalize(statement);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sqlite3* database = Database();
    QUILLET_FUZZ_CHECK(sqlite3_exec(database, "DELETE FROM settings", nullptr, nullptr, nullptr) ==
                       SQLITE_OK);
    for (const QByteArray& part : fuzz::Parts(data, size)) {
        if (part.startsWith('S')) {
            const qsizetype lineEnd = part.indexOf('\n');
            const QByteArray key = lineEnd < 0 ? part.mid(1) : part.mid(1, lineEnd - 1);
            const QByteArray value = lineEnd < 0 ? QByteArray() : part.mid(lineEnd + 1);
            Insert(database, "SignaturesSettingsItemsGroup", key, value);
        } else if (part.startsWith('O')) {
            Insert(database, "MetaSettingsItemsGroup", "MetaOrderingSettingsKey", part.mid(1));
        } else if (part.startsWith('B')) {
            Insert(database, "MetaSettingsItemsGroup", "MetaBindingSettingsKey", part.mid(1));
        }
    }
    const auto settings = ReadSparkSettings(database, "SyncSparkSignatures(_:_:_:_:_:)()");
    if (!settings)
        return 0;
    for (const auto& [identifier, object] : settings->signatureObjects) {
        QUILLET_FUZZ_CHECK(ParseUuid(identifier).has_value());
        QUILLET_FUZZ_CHECK(object.is_object());
        // The sync writes rows back with the strict dump.
        object.dump();
    }
    return 0;
}
