#include "tests/support/SyncTestSupport.h"

#include <sqlite3.h>

#include <QDirIterator>
#include <QRegularExpression>
#include <QUuid>

#include "app/clients/Detection.h"
#include "app/clients/OutlookMode.h"
#include "app/clients/accounts/AccountsCache.h"
#include "app/clients/sync/AppleMailSync.h"
#include "app/clients/sync/OutlookSync.h"
#include "app/clients/sync/PostboxSync.h"
#include "app/clients/sync/SparkSync.h"
#include "app/clients/sync/ThunderbirdSync.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/SampleMac.h"
#include "tests/support/TestHelpers.h"

namespace quillet {

void RecordingSignatureSaver::saveSignatures(const SignatureIds& ids, const IdToSignatureMap&) {
    savedIds.push_back(ids);
}

Signature& TestSignatures::add(const QString& mainText, const QString& name) {
    const int number = static_cast<int>(_ids.size()) + 1;
    auto signature = std::make_shared<Signature>();
    signature->active = true;
    signature->mainTextQe = mainText;
    signature->nameQe = name.isEmpty() ? QString("Signature %1").arg(number) : name;
    signature->uuidX = QUuid(TestUuidText(number));
    _ids.push_back(SignatureId{number});
    _map.emplace(SignatureId{number}, signature);
    return *signature;
}

QString TestUuidText(int number) {
    return QString("00000000-0000-0000-0000-%1").arg(number, 12, 10, QChar('0'));
}

void SelectAccounts(Signature& signature, ClientKind kind, const QStringList& emails,
                    bool pendingReinstallation) {
    SelectedInstallationsInfo info;
    for (const QString& email : emails)
        info.accountEmailToPayloadMap[email] = SelectedInstallationPayload{pendingReinstallation};
    signature.clientKindToSelectedInstallationsInfoMap[kind] = info;
}

void SelectAllAccounts(Signature& signature, ClientKind kind, bool pendingReinstallation) {
    SelectedInstallationsInfo info;
    info.allAccountsSelected = true;
    info.allAccountsPayloadX = SelectedInstallationPayload{pendingReinstallation};
    signature.clientKindToSelectedInstallationsInfoMap[kind] = info;
}

void RecordInstalled(Signature& signature, ClientKind kind, const QString& email,
                     const QString& idString, const QString& text) {
    PerformedInstallationsInfo& info = signature.clientKindToPerformedInstallationsInfoMap[kind];
    const PerformedInstallationPayload payload{idString, text};
    if (email.isEmpty()) {
        info.allAccountsInstalled = true;
        info.allAccountsPayloadX = payload;
    } else {
        info.accountEmailToPayloadMap[email] = payload;
    }
}

AccountsInfo MozillaAccountsInfo(const QStringList& emails, AccountsInfoStatus status) {
    AccountsInfo info;
    info.status = status;
    for (qsizetype i = 0; i < emails.size(); ++i) {
        info.accounts.push_back(std::make_shared<MozillaBasedClientAccount>(
            emails[i], QString::number(i + 1), std::nullopt));
    }
    return info;
}

QStringList Emails(const Accounts& accounts) {
    QStringList emails;
    for (const AccountPtr& account : accounts)
        emails << account->email();
    return emails;
}

AccountsInfo CachedAccountsInfo(ClientKind kind, const QStringList& accounts) {
    QString entries;
    for (const QString& account : accounts) {
        QStringList fields = account.split('|');
        entries += "<dict><key>email</key><string>" + fields.takeFirst() + "</string>";
        for (const QString& field : fields) {
            entries += "<key>" + field.section('=', 0, 0) + "</key><string>" +
                       field.section('=', 1) + "</string>";
        }
        entries += "</dict>";
    }
    const PlistRead plist = Plist::parse(("<plist><dict><key>" + StoredText(kind) +
                                          "</key><array>" + entries + "</array></dict></plist>")
                                             .toUtf8());
    return {AccountsInfoStatus::discoverySucceeded, CachedAccountsFromPlist(*plist).at(kind), {}};
}

QStringList TestSignatures::descriptions() const {
    QStringList list;
    for (const SignatureId id : _ids)
        list.append(Describe(*_map.at(id)));
    return list;
}

namespace {

// The failure in every client's words, by the client's own kind of error.
template <class Error>
std::optional<ClientSyncError> Generic(const std::optional<Error>& error,
                                       const std::vector<SyncFailure>& byKind) {
    if (!error)
        return std::nullopt;
    // Some clients' errors always name a path, others only may.
    const QString path = std::optional<QString>(error->pathX).value_or("");
    return ClientSyncError{byKind.at(int(error->kind)), path, error->cause};
}

// Opened for writing, as Spark opens it, so that a journal left by a failed commit is rolled
// back before the rows are read.
QByteArray SparkRowsWithoutTimes(const QString& path) {
    static const QRegularExpression date(R"re("(modificationDate|creationDate)":[0-9.e+]+,?)re");
    sqlite3* database = nullptr;
    QStringList rows;
    if (sqlite3_open_v2(path.toUtf8().constData(), &database, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        rows = QuerySqliteRows(database,
                               "SELECT itemGroup, itemKey, itemValue, syncStatus FROM settings "
                               "ORDER BY rowid");
    }
    sqlite3_close(database);
    return rows.join('\n').remove(date).toUtf8();
}

// Copies the files of a folder into another, which is emptied first.
void ReplaceFolder(const QString& from, const QString& to) {
    QDir(to).removeRecursively();
    CopyFakeMacFolder(from, to);
}

}  // namespace

FileStates ReadFileStates(const FakeMac& mac) {
    FileStates states;
    QDirIterator files(mac.folder(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString relative = path.mid(mac.folder().size());
        // The stand-ins' own bookkeeping, and SQLite's companions (the rows count instead).
        if (relative.startsWith("/root/var/") || relative.startsWith("/root/tmp/") ||
            relative.endsWith("-wal") || relative.endsWith("-shm") ||
            relative.endsWith("-journal")) {
            continue;
        }
        if (path.endsWith("/settings.sqlite"))
            states[relative] = SparkRowsWithoutTimes(path);
        else
            states[relative] = ReadFakeFile(path).value_or("(unreadable)");
    }
    return states;
}

std::string ClientName(const testing::TestParamInfo<ClientKind>& info) {
    return StoredText(info.param).toStdString();
}

SampleClientWorld::SampleClientWorld(ClientKind kind) : SyncWorld(kind), kind(kind) {
    BuildSampleMac(mac);
    clients = FindInstalledClients(mac.paths(), OutlookModeProbe(mac.paths()));
    replaced = ReplacedSettings();
    QStringList cells;
    for (const QStringList& row : ReadDataTable("sync/sample-accounts.tsv")) {
        if (row[0] == StoredText(kind))
            cells << row.mid(1).join('|');
    }
    accounts = CachedAccountsInfo(kind, cells);
    ReplaceFolder(mac.home(), template_.path() + "/home");
    ReplaceFolder(mac.rootPath("/var/fake-mac"), template_.path() + "/state");
    reset();
}

void SampleClientWorld::reset(bool eachAccount) {
    ReplaceFolder(template_.path() + "/home", mac.home());
    ReplaceFolder(template_.path() + "/state", mac.rootPath("/var/fake-mac"));
    store = StoreRows(kind);
    Signature& signature = store.signatures.add("<p>Quillet's signature</p>");
    if (eachAccount || kind == ClientKind::thunderbird)
        SelectAccounts(signature, kind, emails());
    else
        SelectAllAccounts(signature, kind);
}

// Runs the sync of the client (Outlook's through the stand-in's scripts).
std::optional<ClientSyncError> SampleClientWorld::sync() {
    using enum SyncFailure;
    const SyncInputs inputs = this->inputs(*clients.at(kind));
    switch (kind) {
        case ClientKind::appleMail:
            return Generic(SyncAppleMailSignatures(inputs), {fileSystem, fileSystemCloud, badData});
        case ClientKind::outlook:
            if (SyncOutlookSignatures(inputs, outlook))
                return ClientSyncError{script, ""};
            return std::nullopt;
        case ClientKind::postbox:
            return Generic(SyncPostboxSignatures(inputs), {fileSystem, badData});
        case ClientKind::spark:
            return Generic(SyncSparkSignatures(inputs), {badData, fileSystem});
        case ClientKind::thunderbird:
            return Generic(SyncThunderbirdSignatures(inputs), {fileSystem});
        case ClientKind::evolution:  // the Linux clients are synced through their own tools
        case ClientKind::kmail:
        case ClientKind::geary:
            break;
    }
    return ClientSyncError{script, "no such client"};
}

QString UnescapedCell(QString text) {
    static const QRegularExpression unicode(R"(\\u([0-9a-f]{4}))");
    text.replace("\\n", "\n").replace("\\t", "\t").replace("\\r", "\r").replace("\\0", QChar(0));
    // A lone surrogate put in would keep the expression from matching the rest: the codes are
    // all found in the text before any goes in.
    QString unescaped;
    qsizetype from = 0;
    for (const auto& code : unicode.globalMatch(text)) {
        unescaped += QStringView(text).mid(from, code.capturedStart() - from);
        unescaped += QChar(code.captured(1).toUShort(nullptr, 16));
        from = code.capturedEnd();
    }
    return unescaped + text.mid(from);
}

QStringList WithTestUuids(QStringList row) {
    static const QRegularExpression uuid(R"(\buuid(\d+)\b)");
    for (QString& cell : row) {
        for (const auto& match : uuid.globalMatch(QString(cell)))
            cell.replace(match.captured(), TestUuidText(match.captured(1).toInt()));
    }
    return row;
}

bool StoreRows::apply(const QStringList& row) {
    const QString& what = row[0];
    const auto cell = [&](int i) { return UnescapedCell(row.value(i)); };
    const auto emails = [&](int i) { return row.value(i).split(',', Qt::SkipEmptyParts); };
    const auto signature = [&]() -> Signature& { return signatures[row.value(1).toInt()]; };
    const auto select = [&](Signature& chosen, int i) {
        if (row.value(i).isEmpty())
            return;  // in no selection at all
        if (row.value(i) == "none")
            return SelectAccounts(chosen, _kind, {});  // selected, but for no account
        if (row.value(i) == "*")
            SelectAllAccounts(chosen, _kind, row.value(i + 1) == "pending");
        else
            SelectAccounts(chosen, _kind, emails(i), row.value(i + 1) == "pending");
    };
    if (what == "signature") {
        select(signatures.add(cell(2), cell(1)), 3);
    } else if (what == "select") {
        select(signature(), 2);
    } else if (what == "deselect") {
        signature().clientKindToSelectedInstallationsInfoMap.erase(_kind);
    } else if (what == "text") {
        signature().mainTextQe = cell(2);
    } else if (what == "inactive" || what == "active") {
        signature().active = what == "active";
    } else if (what == "deleted") {
        signature().pendingDeletion = true;
    } else if (what == "reinstall") {
        signature().markForReinstallation();
    } else if (what == "installed") {
        for (const QString& email : row.value(2) == "*" ? QStringList{""} : emails(2))
            RecordInstalled(signature(), _kind, email, cell(3), cell(4));
    } else if (what == "remember") {
        _remembered = Describe(signature());
    } else if (what == "unchanged") {
        EXPECT_EQ(Describe(signature()), _remembered);
    } else if (what == "performed") {
        EXPECT_EQ(signature().clientKindToPerformedInstallationsInfoMap.count(_kind) == 1,
                  row.value(2) == "yes");
    } else if (what == "installed-as") {
        const auto& performed = signature().clientKindToPerformedInstallationsInfoMap.at(_kind);
        EXPECT_EQ(performed.accountEmailToPayloadMap.at(row.value(2)).idStringQe, cell(3));
    } else if (what == "pending-for") {
        const auto& selected = signature().clientKindToSelectedInstallationsInfoMap.at(_kind);
        EXPECT_EQ(selected.accountEmailToPayloadMap.at(row.value(2)).pendingReinstallation,
                  row.value(3) == "yes");
    } else if (what == "saves") {
        EXPECT_TRUE(saver.savedIds.empty());
    } else if (what == "last-save") {
        SignatureIds ids;
        for (const QString& number : row.mid(1))
            ids.push_back(SignatureId{number.toInt()});
        EXPECT_EQ(saver.savedIds.empty() ? SignatureIds{SignatureId{-1}} : saver.savedIds.back(),
                  ids);
    } else {
        return false;
    }
    return true;
}

}  // namespace quillet
