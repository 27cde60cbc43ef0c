#include "common/Localization.h"

#include <atomic>

#include "platform/Bundle.h"

namespace quillet {

namespace {
std::atomic<const Bundle*> gBundle{nullptr};
}

void InstallLocalizationBundle(const Bundle* bundle) {
    gBundle = bundle;
}

QString Localized(const QString& englishText) {
    const Bundle* bundle = gBundle.load();
    return bundle ? bundle->localized(englishText) : englishText;
}

QString FillPlaceholders(QString text, const QStringList& values) {
    qsizetype from = 0;
    for (const QString& value : values) {
        const qsizetype at = text.indexOf("%@", from);
        if (at < 0)
            break;
        text.replace(at, 2, value);
        from = at + value.size();
    }
    return text;
}

}  // namespace quillet
