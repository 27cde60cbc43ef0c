// Thunderbird's and Postbox's syncs, told as stories under tests/data/sync/mozilla (see the README
// there): what becomes of the person's identities and Postbox's list of signatures.
#include <gtest/gtest.h>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/PostboxSync.h"
#include "app/clients/sync/ThunderbirdSync.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

// A profile of the client the case names, with an identity for each account, numbered from 1.
class MozillaWorld : public SyncWorld {
public:
    explicit MozillaWorld(const QString& client)
        : SyncWorld(*ClientKindFromStoredText(client)), kind(*ClientKindFromStoredText(client)) {
        clientInfo.mozillaBasedClientProfilePathQ = profile;
    }

    // The prefs.js lines of the accounts' identities, then those lines.
    QStringList prefsLines(const QStringList& extra) const {
        QStringList lines{"// Mozilla User Preferences", ""};
        for (qsizetype i = 0; i < emails.size(); ++i)
            lines += FakeIdentityPrefsLines(QString::number(i + 1), emails[i]);
        return lines + extra;
    }

    void apply(const QStringList& row) {
        const QString& what = row[0];
        const QString prefsPath = profile + "/prefs.js";
        if (what == "accounts") {
            emails = row.mid(1);
            accounts = MozillaAccountsInfo(emails);
        } else if (what == "prefs") {
            WriteFakePrefsFile(profile, prefsLines(row.mid(1)));
        } else if (what == "list") {
            WriteFakePostboxSignatures(profile, row.value(1).toUtf8());
        } else if (what == "sync") {
            const bool failed = kind == ClientKind::postbox
                                    ? SyncPostboxSignatures(inputs()).has_value()
                                    : SyncThunderbirdSignatures(inputs()).has_value();
            EXPECT_EQ(failed ? "failed" : "ok", row.value(1));
        } else if (what == "prefs-are") {
            EXPECT_EQ(ReadPrefsFileLines(prefsPath).value_or(QStringList{"(none)"}),
                      prefsLines(row.mid(1)) << "");  // the file ends with a line break
        } else if (what == "pref") {
            const auto lines = ReadPrefsFileLines(prefsPath).value_or(QStringList());
            EXPECT_EQ(GetPrefsStringValue(lines, row.value(1)).value_or("-"), row.value(2));
        } else if (what == "list-is") {
            EXPECT_EQ(ReadFakeFile(FakePostboxSignaturesPath(profile)).value_or("(none)"),
                      row.value(1).toUtf8());
        } else {
            ADD_FAILURE() << "no such row: " << what.toStdString();
        }
    }

    const ClientKind kind;
    QString profile = mac.addMozillaProfile(kind);
    QStringList emails;
};

TEST(MozillaSyncTest, EveryStoryEndsAsItsRowsSay) {
    PlayStories<MozillaWorld>("sync/mozilla");
}

}  // namespace
}  // namespace quillet
