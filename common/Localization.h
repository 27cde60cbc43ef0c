#pragma once
// User-visible texts: looked up in the "Main" table with the English text as key.

#include <QString>
#include <QStringList>

namespace quillet {

class Bundle;

// The table the process looks texts up in; null makes Localized() return the key itself.
void InstallLocalizationBundle(const Bundle* bundle);
QString Localized(const QString& englishText);
// Fills each "%@" of a localised text with the next value, in order; a value that itself holds
// "%@" is not filled again.
QString FillPlaceholders(QString text, const QStringList& values);

}  // namespace quillet
