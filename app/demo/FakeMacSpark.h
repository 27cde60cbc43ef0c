#pragma once
// Spark's settings database on a fake Mac: the table "settings" with the rows of its signatures,
// their ordering and the accounts' default signatures.

#include <QString>
#include <QStringList>
#include <vector>

#include "app/demo/FakeMac.h"

namespace quillet {

inline const QString kFakeSparkSignaturesGroup = "SignaturesSettingsItemsGroup";
inline const QString kFakeSparkMetaGroup = "MetaSettingsItemsGroup";
inline const QString kFakeSparkOrderingKey = "MetaOrderingSettingsKey";
inline const QString kFakeSparkBindingKey = "MetaBindingSettingsKey";

struct FakeSparkSettingsRow {
    QString itemGroup;
    QString itemKey;
    QString itemValue;  // the JSON text as Spark stores it
    double syncDate = 700000000;
    int syncStatus = 1;
};

// A signature row, the ordering row and the binding row as Spark writes them.
FakeSparkSettingsRow FakeSparkSignatureRow(const QString& identifier, const QString& json);
FakeSparkSettingsRow FakeSparkOrderingRow(const QString& json);
FakeSparkSettingsRow FakeSparkBindingRow(const QString& json);

// Spark's settings.sqlite (replacing an earlier one) with the table holding the rows in order;
// returns its path.
QString CreateFakeSparkSettingsDatabase(const FakeMac& mac,
                                        const std::vector<FakeSparkSettingsRow>& rows);
// Every row in pk order as "itemGroup|itemKey|itemValue|syncDate|syncStatus".
QStringList FakeSparkSettingsRows(const QString& path);
// Runs SQL (a trigger, say) on the database; false when it fails.
bool ExecuteFakeSparkSql(const QString& path, const QString& sql);

}  // namespace quillet
