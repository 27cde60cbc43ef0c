#include <gtest/gtest.h>

#include <QUrlQuery>

#include "app/demo/FakeMac.h"
#include "common/Brand.h"
#include "platform/Bundle.h"
#include "platform/Plist.h"

namespace quillet {
namespace {

// A resources folder whose Info.plist is the built one with some keys changed.
class BrandTest : public testing::Test {
protected:
    Result<Brand> load(const std::map<QString, std::optional<QString>>& changes) {
        auto info = std::make_optional(original);
        for (const auto& [key, value] : changes) {
            if (value) {
                info->node().set(key, Plist::string(*value));
            } else {
                info->node().remove(key);
            }
        }
        WritePlistFile(mac.bundlePath() + "/Info.plist", *info);
        const auto bundle = Bundle::open(mac.bundlePath());
        return Brand::load(*bundle, Brand::Deliverable::desktopApp);
    }
    FakeMac mac;
    const Plist original = *ReadPlistFile(mac.bundlePath() + "/Info.plist");
};

// Only upper-case YES enables the banner; the feedback mail gets the one subject as its query,
// a web link is opened unchanged, and the version line comes from the bundle. A missing key or a
// bad URL stops with the key named. Texts the person sees come from the bundle's table, or stay
// English where it has none.
TEST_F(BrandTest, TheBundlesKeysGiveTheBannerTheLinksTheVersionLineAndTheTexts) {
    for (const auto& [value, enabled] :
         std::vector<std::pair<QString, bool>>{{"YES", true}, {"yes", false}, {"true", false}})
        EXPECT_EQ(load({{"QWBrandBannerEnabled", value}})->bannerEnabled(), enabled)
            << value.toStdString();
    const auto brand = load({{"QWBrandFeedbackURL", "mailto:help@quillet.app?subject=old&cc=x@y.z"},
                             {"QWBrandHelpURL", "https://quillet.app/help?lang=en"},
                             {"CFBundleShortVersionString", "2.4 & more"},
                             {"CFBundleVersion", "118"}});
    const QUrl url = brand->feedbackURL();
    EXPECT_EQ(url.scheme() + ":" + url.path(), "mailto:help@quillet.app");
    const QUrlQuery query(url);
    ASSERT_EQ(query.queryItems().size(), 1);
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded),
              "Feedback from Mac Desktop App v2.4 & more");
    EXPECT_EQ(brand->helpURL(), QUrl("https://quillet.app/help?lang=en"));
    EXPECT_EQ(brand->versionLine(), "Quillet 2.4 & more (118)");

    for (const QString key : {"QWBrandSupportFolder", "QWBrandNewOutlookURL"}) {
        const auto broken =
            load({{key, key.endsWith("URL") ? std::optional<QString>("not a url") : std::nullopt}});
        EXPECT_FALSE(broken);
        EXPECT_TRUE(broken.error().contains("\"" + key + "\"")) << broken.error().toStdString();
    }

    Plist table = Plist::dictionary();
    table.node().set("Close", Plist::string("Schließen"));
    ASSERT_TRUE(WritePlistFile(mac.bundlePath() + "/en.lproj/Main.strings", table));
    const auto bundle = Bundle::open(mac.bundlePath());
    EXPECT_EQ(bundle->localized("Close"), QString::fromUtf8("Schließen"));
    EXPECT_EQ(bundle->localized("Later"), "Later");
}

}  // namespace
}  // namespace quillet
