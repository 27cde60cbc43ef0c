#include "app/restore/RestorePointRows.h"

#include <sqlite3.h>
#include <QByteArray>
#include <QStringList>

namespace quillet {

namespace {

using Json = nlohmann::json;

const std::string kValueColumn = "itemValue";

QString Quoted(const QString& identifier) {
    return "\"" + QString(identifier).replace("\"", "\"\"") + "\"";
}

QString WhereClause(const SqliteRowKey& key) {
    QStringList terms;
    for (const auto& [column, value] : key)
        terms << Quoted(column) + " = ?";
    return terms.isEmpty() ? QString() : " WHERE " + terms.join(" AND ");
}

// A prepared statement that is finalised on every path.
class Statement {
public:
    Statement(sqlite3* database, const QString& sql) {
        sqlite3_prepare_v2(database, sql.toUtf8().constData(), -1, &_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return _statement; }

    bool bindKey(const SqliteRowKey& key) {
        int index = 1;
        for (const auto& [column, value] : key) {
            const QByteArray text = value.toUtf8();
            if (sqlite3_bind_text(_statement, index++, text.constData(), int(text.size()),
                                  SQLITE_TRANSIENT) != SQLITE_OK)
                return false;
        }
        return true;
    }

private:
    sqlite3_stmt* _statement = nullptr;
};

Json TextJson(const QByteArray& bytes) {
    return BytesJson(bytes, "text64");
}

std::optional<QByteArray> TextOf(const Json& value) {
    return BytesFromJson(value, "text64");
}

Json ColumnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER:
            return sqlite3_column_int64(statement, column);
        case SQLITE_FLOAT:
            return sqlite3_column_double(statement, column);
        case SQLITE_TEXT:
            return TextJson(
                QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                           sqlite3_column_bytes(statement, column)));
        case SQLITE_BLOB: {
            const QByteArray bytes(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                                   sqlite3_column_bytes(statement, column));
            return Json{{"blob", bytes.toBase64().toStdString()}};
        }
        default:
            return nullptr;
    }
}

bool BindValue(sqlite3_stmt* statement, int index, const Json& value) {
    if (value.is_null())
        return sqlite3_bind_null(statement, index) == SQLITE_OK;
    if (value.is_number_integer())
        return sqlite3_bind_int64(statement, index, value.get<sqlite3_int64>()) == SQLITE_OK;
    if (value.is_number())
        return sqlite3_bind_double(statement, index, value.get<double>()) == SQLITE_OK;
    if (const auto text = TextOf(value)) {
        return sqlite3_bind_text(statement, index, text->constData(), int(text->size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    if (value.is_object() && value.contains("blob") && value.at("blob").is_string()) {
        const QByteArray bytes =
            QByteArray::fromBase64(QByteArray::fromStdString(value.at("blob").get<std::string>()));
        return sqlite3_bind_blob(statement, index, bytes.constData(), int(bytes.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    return false;
}

// Runs a statement to its end and hands it, with its values, to `writes`.
bool Run(Statement& statement, ClientWrites& writes) {
    char* expanded = sqlite3_expanded_sql(statement.get());
    writes.statementRan(QString::fromUtf8(expanded ? expanded : sqlite3_sql(statement.get())));
    sqlite3_free(expanded);
    return sqlite3_step(statement.get()) == SQLITE_DONE;
}

}  // namespace

Json BytesJson(const QByteArray& bytes, const char* member) {
    std::string text = bytes.toStdString();
    try {
        (void)Json(text).dump();  // the JSON writer's own check of the UTF-8
        return text;
    } catch (const Json::exception&) {
        return Json{{member, bytes.toBase64().toStdString()}};
    }
}

std::optional<QByteArray> BytesFromJson(const Json& value, const char* member) {
    if (value.is_string())
        return QByteArray::fromStdString(value.get<std::string>());
    if (value.is_object() && value.contains(member) && value.at(member).is_string()) {
        return QByteArray::fromBase64(
            QByteArray::fromStdString(value.at(member).get<std::string>()));
    }
    return std::nullopt;
}

EntryValue RowsEntryValue(const Json& rows) {
    if (!rows.is_array() || rows.empty())
        return std::nullopt;
    const auto found = rows.back().find(kValueColumn);
    if (rows.back().is_object() && found != rows.back().end()) {
        if (auto text = TextOf(*found))
            return text;
    }
    return QByteArray::fromStdString(rows.dump(-1, ' ', false, Json::error_handler_t::replace));
}

Json RowsWithValue(Json rows, const QByteArray& value) {
    for (Json& row : rows)
        row[kValueColumn] = TextJson(value);
    return rows;
}

std::optional<Json> ReadRowsWithKey(sqlite3* database, const QString& table,
                                    const SqliteRowKey& key) {
    Statement select(database, "SELECT * FROM " + Quoted(table) + WhereClause(key));
    if (!select.get() || !select.bindKey(key))
        return std::nullopt;
    Json rows = Json::array();
    int stepped = SQLITE_ROW;
    while ((stepped = sqlite3_step(select.get())) == SQLITE_ROW) {
        Json row = Json::object();
        for (int column = 0; column < sqlite3_column_count(select.get()); ++column)
            row[sqlite3_column_name(select.get(), column)] = ColumnValue(select.get(), column);
        rows.push_back(std::move(row));
    }
    if (stepped != SQLITE_DONE)
        return std::nullopt;
    return rows;
}

bool PutBackRows(sqlite3* database, const QString& table, const SqliteRowKey& key, const Json& rows,
                 ClientWrites& writes) {
    Statement remove(database, "DELETE FROM " + Quoted(table) + WhereClause(key));
    if (!remove.get() || !remove.bindKey(key) || !Run(remove, writes))
        return false;
    for (const Json& row : rows) {
        if (!row.is_object())
            return false;
        QStringList columns;
        QStringList places;
        for (const auto& [column, value] : row.items()) {
            columns << Quoted(QString::fromStdString(column));
            places << "?";
        }
        Statement insert(database, "INSERT INTO " + Quoted(table) + " (" + columns.join(", ") +
                                       ") VALUES (" + places.join(", ") + ")");
        if (!insert.get())
            return false;
        int index = 1;
        for (const auto& [column, value] : row.items()) {
            if (!BindValue(insert.get(), index++, value))
                return false;
        }
        if (!Run(insert, writes))
            return false;
    }
    return true;
}

}  // namespace quillet
