#include <gtest/gtest.h>

#include "common/Accounts.h"
#include "common/Text.h"

namespace quillet {
namespace {

// The name a person picks an account by: the account's own title, else the owner's name.
TEST(Accounts, DisplayNamesPutTheTitleOrTheOwnerBeforeTheEmail) {
    EXPECT_EQ(OutlookAccount("a@b.c", QString("Full"), std::nullopt).displayName(), "a@b.c");
    EXPECT_EQ(SparkAccount("s@b.c", std::nullopt, QString("Owner")).displayName(), "Owner - s@b.c");
    EXPECT_EQ(SparkAccount("s@b.c", QString("Work"), QString("Owner")).displayName(),
              "Work - s@b.c");
    EXPECT_EQ(MozillaBasedClientAccount("z@b.c", "12", QString("Zed")).displayName(),
              "Zed - z@b.c");
}

TEST(Text, TypedTextLosesBreaksAndTabsThenIsTrimmed) {
    EXPECT_EQ(NormaliseTypedText(" \tab\ncd\r\n "), "abcd");
    EXPECT_EQ(NormaliseTypedText(QString::fromUtf8("\u00a0key one\u2028")), "key one");
    EXPECT_EQ(CharacterCount(QString::fromUtf8("e\u0301")), 1);  // e + combining accent
    EXPECT_EQ(CanonicalUuidText(*ParseUuid("6ba7b810-9dad-11d1-80b4-00c04fd430c8")),
              "6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    EXPECT_FALSE(ParseUuid("not a uuid"));
}

}  // namespace
}  // namespace quillet
