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

}  // namespace quillet
