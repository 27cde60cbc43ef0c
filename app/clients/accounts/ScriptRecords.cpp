#include "app/clients/accounts/ScriptRecords.h"

namespace quillet {

QStringList SplitScriptRecords(const QString& output) {
    QStringList records;
    for (const QString& piece : output.split(";;;")) {
        const QString record = piece.trimmed();
        if (!record.isEmpty())
            records.append(record);
    }
    return records;
}

std::vector<std::optional<QString>> SplitScriptFields(const QString& record) {
    std::vector<std::optional<QString>> fields;
    for (const QString& piece : record.split(",,,")) {
        const QString field = piece.trimmed();
        fields.push_back(field.isEmpty() ? std::nullopt : std::optional<QString>(field));
    }
    return fields;
}

}  // namespace quillet
