#pragma once
// User-visible texts: looked up in the "Main" table with the English text as key.

#include <QString>

namespace quillet {

class Bundle;

// The table the process looks texts up in; null makes Localized() return the key itself.
void InstallLocalizationBundle(const Bundle* bundle);
QString Localized(const QString& englishText);

}  // namespace quillet
