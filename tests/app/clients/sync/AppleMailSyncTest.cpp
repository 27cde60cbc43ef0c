// Apple Mail's sync, told as stories under tests/data/sync/apple-mail (see the README there):
// what it does with Mail's lists and the person's entries in them, and what a full disk or a
// link among Mail's folders does to it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include "app/clients/sync/AppleMailSync.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

constexpr auto kMail = ClientKind::appleMail;
const QStringList kKinds{"fileSystem", "fileSystemCloud", "badData"};

// A node as text: strings and flags as they are, arrays as "[a,b]", "-" when absent.
QString NodeText(const std::optional<PlistNode>& node) {
    if (!node)
        return "-";
    if (node->isArray()) {
        QStringList items;
        for (int i = 0; i < node->size(); ++i)
            items << NodeText(node->at(i));
        return "[" + items.join(',') + "]";
    }
    if (const auto flag = node->asBool())
        return *flag ? "true" : "false";
    return node->asString().value_or("?");
}

// Mail as detected, with its data folder; the person's replaced settings are kept nowhere.
class AppleMailWorld : public SyncWorld {
public:
    explicit AppleMailWorld(const QString& = {})
        : SyncWorld(kMail, {"/Applications/Mail.app", "16.0", "3774.300.61"}) {
        clientInfo.appleMailDataPathQ = files.dataFolder;
        accounts.status = AccountsInfoStatus::discoverySucceeded;
        replaced = ReplacedSettings();
    }

    void addAccount(const QString& email, const QString& uuid, const QString& type = "imap") {
        accounts.accounts.push_back(
            std::make_shared<AppleMailAccount>(email, uuid, type, std::nullopt));
    }

    QString path(const QString& place) const {
        const std::map<QString, QString> places{{"accounts-map", files.accountsMap},
                                                {"all-signatures", files.allSignatures},
                                                {"preferences", files.preferences},
                                                {"cloud-all-signatures", files.cloudAllSignatures}};
        const auto found = places.find(place);
        return found == places.end() ? place : found->second;
    }

    void apply(const QStringList& row) {
        const QString& what = row[0];
        const auto cell = [&](int i) { return row.value(i); };
        const auto xml = [&](int i) {
            return cell(i).endsWith(".plist") ? ReadDataText("sync/apple-mail/" + cell(i))
                                              : cell(i);
        };
        const auto signatureFile = [&] {
            const QString id = TestUuidText(cell(2).toInt());
            return cell(1) == "cloud-signature" ? files.cloudSignatureFile(id)
                                                : files.signatureFile(id);
        };
        const QString file = path(cell(1));
        if (what == "base") {
            for (const QString place : {"accounts-map", "all-signatures", "preferences"})
                apply({"plist", place, place + ".plist"});
            QDir().mkpath(files.cacheFolder + "/Signatures");
            addAccount("a@x.org", "ACC-A");
            addAccount("b@x.org", "ACC-B");
        } else if (what == "plist" || what == "binary-plist") {
            WriteFakePlist(file, xml(2), what == "binary-plist");
        } else if (what == "write") {
            mac.writeFile(file, cell(2).toUtf8());
        } else if (what == "cloud") {
            QDir().mkpath(files.cloudFolder);
        } else if (what == "account") {
            addAccount(cell(1), cell(2), cell(3));
        } else if (what == "no-accounts") {
            accounts.accounts.clear();
        } else if (what == "discovery") {
            accounts.status = cell(1) == "failed" ? AccountsInfoStatus::discoveryFailed
                                                  : AccountsInfoStatus::discoverySucceeded;
        } else if (what == "other-macs") {
            QString entries;
            for (int i = 0; i < cell(2).toInt(); ++i) {
                entries += "<dict><key>SignatureUniqueId</key><string>OTHER-MAC-" +
                           QString::number(i) + "</string></dict>";
            }
            WriteFakePlist(file, "<array>" + entries + "</array>");
            kept = ReadFakeFile(file).value_or("");
        } else if (what == "as-kept") {
            EXPECT_EQ(ReadFakeFile(file), kept);
            EXPECT_EQ(QDir(QFileInfo(file).path()).entryList(QDir::Files), row.mid(2));
        } else if (what == "link-cache") {
            // Mail's cache is a link to a folder of the person's.
            QDir().mkpath(mac.homePath(cell(1)));
            mac.writeFile(mac.homePath(cell(1) + "/" + cell(2)), cell(3).toUtf8());
            QDir(files.cacheFolder).removeRecursively();
            EXPECT_TRUE(QFile::link(mac.homePath(cell(1)), files.cacheFolder));
        } else if (what == "cache-is-link") {
            EXPECT_EQ(QFileInfo(files.cacheFolder).isSymLink(), cell(1) == "yes");
        } else if (what == "home-file") {
            EXPECT_EQ(ReadFakeFile(mac.homePath(cell(1))).value_or("(none)"), cell(2).toUtf8());
        } else if (what == "sync") {
            // A disk that takes small files but not one of half the kept file's size.
            std::optional<FileSizeLimit> limit;
            if (cell(2) == "half-kept-size")
                limit.emplace(static_cast<rlim_t>(kept.size() / 2));
            const auto error = SyncAppleMailSignatures(inputs());
            limit.reset();
            EXPECT_EQ(error ? kKinds[int(error->kind)] + " " + error->pathX.value_or("") : "ok",
                      cell(1).contains(' ')
                          ? cell(1).section(' ', 0, 0) + " " + path(cell(1).section(' ', 1))
                          : cell(1));
        } else if (what == "ids") {
            QStringList ids;
            const auto list = ReadPlistFile(file);
            for (int i = 0; list && i < list->node().size(); ++i)
                ids << list->node().at(i)->dictionaryString("SignatureUniqueId").value_or("?");
            EXPECT_EQ(ids, row.mid(2));
        } else if (what == "value") {
            const auto plist = ReadPlistFile(file);
            std::optional<PlistNode> node = plist ? std::optional(plist->node()) : std::nullopt;
            for (const QString& step : cell(2).split('/', Qt::SkipEmptyParts)) {
                if (node)
                    node = node->isArray() ? node->at(step.toInt()) : node->get(step);
            }
            EXPECT_EQ(NodeText(node), cell(3));
        } else if (what == "binary") {
            EXPECT_TRUE(IsBinaryPlistData(ReadFakeFile(file).value_or("")));
        } else if (what == "xml-valid") {
            QXmlStreamReader reader(ReadFakeFile(file).value_or(""));
            while (!reader.atEnd())
                reader.readNext();
            EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
        } else if (what == "bytes") {
            EXPECT_EQ(ReadFakeFile(file).value_or("(none)"), cell(2).toUtf8());
        } else if (what == "exists") {
            EXPECT_EQ(QFileInfo::exists(signatureFile()), cell(3) == "yes");
        } else if (what == "same-in-cloud") {
            const QString id = TestUuidText(cell(1).toInt());
            EXPECT_EQ(ReadFakeFile(files.cloudSignatureFile(id)).value_or("(none)"),
                      ReadFakeFile(files.signatureFile(id)).value_or(""));
        } else {
            ADD_FAILURE() << "no such row: " << what.toStdString();
        }
    }

    FakeAppleMailFiles files{mac};
    QByteArray kept;  // a file's bytes as `other-macs` wrote them
};

TEST(AppleMailSyncTest, EveryStoryEndsAsItsRowsSay) {
    PlayStories<AppleMailWorld>("sync/apple-mail");
}

}  // namespace
}  // namespace quillet
