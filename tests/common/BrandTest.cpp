#include <gtest/gtest.h>

#include "app/demo/FakeMac.h"
#include "common/Brand.h"
#include "platform/Bundle.h"
#include "platform/Plist.h"
#include "tests/support/DataTable.h"

namespace quillet {
namespace {

// A resources folder whose Info.plist is the built one with some keys changed.
class BrandTest : public testing::Test {
protected:
    // The changes separated by "|": KEY=VALUE, or KEY alone to remove the key.
    Result<Brand> load(const QString& changes) {
        Plist info = original;
        for (const QString& change : changes.split('|')) {
            if (change.contains('=')) {
                info.node().set(change.section('=', 0, 0), Plist::string(change.section('=', 1)));
            } else {
                info.node().remove(change);
            }
        }
        WritePlistFile(mac.bundlePath() + "/Info.plist", info);
        const auto bundle = Bundle::open(mac.bundlePath());
        return Brand::load(*bundle, Brand::Deliverable::desktopApp);
    }
    FakeMac mac;
    const Plist original = *ReadPlistFile(mac.bundlePath() + "/Info.plist");
};

// Only upper-case YES enables the banner, and a missing key or a bad URL stops with the key
// named: the rows of tests/data/base/brand-keys.tsv. Texts the person sees come from the
// bundle's table, or stay English where it has none.
TEST_F(BrandTest, TheBundlesKeysGiveTheBannerTheLinksTheVersionLineAndTheTexts) {
    for (const QStringList& row : ReadDataTable("base/brand-keys.tsv")) {
        const auto brand = load(row[0]);
        const QString answer = !brand               ? brand.error()
                               : row[1] == "banner" ? (brand->bannerEnabled() ? "yes" : "no")
                               : row[1] == "feedback"
                                   ? brand->feedbackURL().toString(QUrl::FullyEncoded)
                               : row[1] == "help" ? brand->helpURL().toString(QUrl::FullyEncoded)
                                                  : brand->versionLine();
        EXPECT_EQ(answer.toStdString(), row[2].toStdString()) << row[0].toStdString();
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
