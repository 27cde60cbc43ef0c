#include "app/clients/sync/ReplacedSettings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "app/clients/sync/ClientWrites.h"
#include "tests/support/FileFaults.h"

namespace quillet {
namespace {

constexpr auto kThunderbird = ClientKind::thunderbird;
constexpr auto kPostbox = ClientKind::postbox;

// Processes that sync at once (the application and a command) keep the settings of their own
// clients and accounts: each change is merged into what the file holds by then.
TEST(ReplacedSettingsFileFaultsTest, ChangesMadeAtOnceAreAllKept) {
    QTemporaryDir folder;
    const ReplacedSettings replaced(ReplacedSettingsPath(folder.path()));
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 6; ++writer) {
        writers.emplace_back([&replaced, writer] {
            // Each writer its own handle, as each process has.
            const ReplacedSettings mine(replaced.path());
            for (int account = 0; account < 8; ++account) {
                ReplacedSettingsChanges changes;
                changes.remembered[QString("a%1@x.org").arg(account)] = {
                    {"htmlSigText", QString("\"<p>%1</p>\"").arg(writer)}, {"sig_on_fwd", {}}};
                EXPECT_FALSE(mine.update(kThunderbird, QString("/profile%1").arg(writer), changes,
                                         DirectClientWrites()));
            }
        });
    }
    for (auto& writer : writers)
        writer.join();
    for (int writer = 0; writer < 6; ++writer) {
        const auto kept = replaced.read(kThunderbird, QString("/profile%1").arg(writer));
        ASSERT_EQ(kept.value_or(std::map<QString, ClientSettings>()).size(), 8u) << writer;
        EXPECT_EQ(kept->at("a7@x.org"),
                  (ClientSettings{{"htmlSigText", QString("\"<p>%1</p>\"").arg(writer)},
                                  {"sig_on_fwd", std::nullopt}}));
    }
}

// One file of kept settings over several clients and storages: forgetting touches only its own
// client, storage and accounts. A file that is there but cannot be read (a failing disk, no file
// handle left) holds other clients' settings: a change fails, and the file is neither replaced nor
// emptied. Nor does it read as empty: a sync would take Quillet's signature away without giving
// back the person's. A damaged one holds nothing to put back: it reads as empty and the next change
// replaces it.
TEST(ReplacedSettingsFileFaultsTest, AChangeTouchesOnlyItsOwnPlacesAndNeverAFileItCannotRead) {
    ASSERT_TRUE(FileFaults::Available());
    QTemporaryDir folder;
    const ReplacedSettings replaced(ReplacedSettingsPath(folder.path()));
    const auto update = [&](ClientKind kind, const QString& storage,
                            const ReplacedSettingsChanges& changes) {
        return replaced.update(kind, storage, changes, DirectClientWrites());
    };
    ReplacedSettingsChanges both, forget, thunderbird;
    both.remembered["a@x.org"] = {{"pbSignatureKey", "\"mine\""}};
    both.remembered["b@x.org"] = {{"pbSignatureKey", std::nullopt}};
    forget.forgotten.insert("a@x.org");
    thunderbird.remembered["t@x.org"] = {{"htmlSigText", "\"<p>Tom's own</p>\""}};
    ASSERT_FALSE(update(kPostbox, "/p", both));
    ASSERT_FALSE(update(kThunderbird, "/p", both));
    ASSERT_FALSE(update(kPostbox, "/q", both));
    ASSERT_FALSE(update(kPostbox, "/p", forget));
    const std::map<QString, ClientSettings> kept{{"b@x.org", {{"pbSignatureKey", std::nullopt}}}};
    EXPECT_EQ(replaced.read(kPostbox, "/p"), kept);
    EXPECT_EQ(replaced.read(kThunderbird, "/p")->size(), 2u);
    EXPECT_EQ(replaced.read(kPostbox, "/q")->size(), 2u);

    // It cannot be opened, then it gives only its first half: either way nothing is written.
    for (long target = 1, readCut = 0; !readCut; ++target) {
        FileFaults faulty(folder.path(), FileFaultAction::fail, target);
        faulty.faultReads(FileReadFault::cutShort);
        const auto error = update(kThunderbird, "/t", thunderbird);
        ASSERT_TRUE(faulty.fired()) << "the file was never read";
        const QString fault = faulty.lastFault();
        readCut = fault.startsWith("read " + replaced.path() + " ");
        if (!readCut && !fault.startsWith("open " + replaced.path() + " "))
            continue;
        SCOPED_TRACE(fault.toStdString());
        EXPECT_TRUE(error);
        EXPECT_EQ(replaced.read(kPostbox, "/p"), kept);
    }
    EXPECT_EQ(replaced.read(kThunderbird, "/t"), (std::map<QString, ClientSettings>()));
    for (long target = 1;; ++target) {
        FileFaults faulty(folder.path(), FileFaultAction::fail, target);
        faulty.faultReads(FileReadFault::cutShort);
        const auto read = replaced.read(kPostbox, "/p");
        if (!faulty.fired())
            break;
        EXPECT_EQ(read, std::nullopt) << faulty.lastFault().toStdString();
    }

    QFile damaged(replaced.path());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("[{\"client\":") > 0);
    damaged.close();
    EXPECT_EQ(replaced.read(kPostbox, "/q"), (std::map<QString, ClientSettings>()));
    ASSERT_FALSE(update(kPostbox, "/q", both));
    EXPECT_EQ(replaced.read(kPostbox, "/q")->size(), 2u);
}

}  // namespace
}  // namespace quillet
