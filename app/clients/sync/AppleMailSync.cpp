#include "app/clients/sync/AppleMailSync.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <span>

#include "app/clients/accounts/AppleMailAccounts.h"
#include "app/clients/sync/AppleMailLists.h"
#include "app/clients/sync/AppleMailSignatureFile.h"
#include "app/clients/sync/AppleMailSyncInfo.h"
#include "common/Log.h"
#include "common/Text.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/Plist.h"
#include "platform/WholeFile.h"

namespace quillet {

namespace {

using Error = SyncAppleMailSignaturesError;
using Kind = SyncAppleMailSignaturesError::Kind;

// The prefix of the sync's log lines, made once.
const QString& SyncNameText() {
    static const QString name = SyncName("SyncAppleMailSignatures");
    return name;
}
const QString kSignaturesSelected = QStringLiteral("SignaturesSelected");

void Info(const QString& message) {
    LogInfo(SyncNameText() + ": " + message);
}
void Fail(const QString& message) {
    LogError(SyncNameText() + ": " + message);
}

QString SignatureFileName(const QString& uuidText) {
    return uuidText + ".mailsignature";
}

// A property list of Mail's, told apart as missing (which counts as empty), unreadable or not
// understood (neither of which may be written over: the person's own entries are in there).
struct ListFile {
    enum class State { missing, read, unreadable, notUnderstood } state = State::missing;
    std::optional<Plist> plist;
    bool binary = false;
    QByteArray bytes;  // as read
};

ListFile ReadListFile(const QString& path, bool (*hasRootShape)(const Plist&)) {
    ListFile result;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return result;
    const std::optional<QByteArray> bytes =
        info.isFile() ? ReadWholeFile(path) : std::optional<QByteArray>();
    if (!bytes) {
        result.state = ListFile::State::unreadable;
        return result;
    }
    result.bytes = *bytes;
    result.binary = IsBinaryPlistData(result.bytes);
    result.plist = Plist::parse(result.bytes).take();
    result.state = result.plist && hasRootShape(*result.plist) ? ListFile::State::read
                                                               : ListFile::State::notUnderstood;
    return result;
}

bool IsDictionaryList(const Plist& plist) {
    return plist.node().isDictionary();
}
bool IsArrayList(const Plist& plist) {
    return plist.node().isArray();
}

// The list's contents, an empty one when the file is missing, or the error that ends the sync.
std::variant<Plist, Error> ExistingList(const QString& path, bool dictionary, Kind readKind) {
    const ListFile file = ReadListFile(path, dictionary ? IsDictionaryList : IsArrayList);
    switch (file.state) {
        case ListFile::State::missing:
            return dictionary ? Plist::dictionary() : Plist::array();
        case ListFile::State::read:
            return *file.plist;
        case ListFile::State::unreadable:
            Fail("Could not read " + path);
            return Error{readKind, path};
        case ListFile::State::notUnderstood:
            break;
    }
    Fail("Could not parse " + path);
    return Error{readKind == Kind::fileSystemCloud ? readKind : Kind::badData, path};
}

std::variant<Plist, Error> MergedAllSignatures(const QString& path, Kind readKind,
                                               const AppleMailSyncInfo& info,
                                               const IdToSignatureMap& map) {
    auto old = ExistingList(path, false, readKind);
    if (auto* error = std::get_if<Error>(&old))
        return *error;
    const Plist& oldList = std::get<Plist>(old);
    Info("oldAllSignaturesArray:\n" + QString::fromUtf8(oldList.toXml()));
    auto merged = NewAllSignaturesArray(oldList, info, map);
    if (!merged) {
        Info("No value for key \"SignatureUniqueId\" in " + path);
        return Error{readKind == Kind::fileSystemCloud ? readKind : Kind::badData, path};
    }
    Info("newAllSignaturesArray:\n" + QString::fromUtf8(merged->toXml()));
    return *merged;
}

// Mail's preferences with the new defaults and the signature above quoted text; absent (and
// logged) when they cannot be read. They never make the sync fail.
std::optional<AppleMailFileWrite> NewPreferences(const QString& path, const AppleMailSyncInfo& info,
                                                 const std::map<QString, ClientSettings>& kept,
                                                 const std::set<QString>& ownSignatureUuids,
                                                 ReplacedSettingsChanges& replaced) {
    const ListFile file = ReadListFile(path, IsDictionaryList);
    if (file.state != ListFile::State::read) {
        Fail("Could not read " + path);
        return std::nullopt;
    }
    Plist preferences = *file.plist;
    // A person who never chose a default in Mail has no "SignaturesSelected" yet.
    if (!preferences.node().get(kSignaturesSelected))
        preferences.node().set(kSignaturesSelected, Plist::dictionary());
    const PlistNode selected = *preferences.node().get(kSignaturesSelected);
    if (selected.isDictionary()) {
        Info("oldSignaturesSelectedMap: " + QString::fromUtf8(Plist::copyOf(selected).toXml()));
        UpdateSignaturesSelected(selected, info, kept, ownSignatureUuids, replaced);
        Info("newSignaturesSelectedMap: " + QString::fromUtf8(Plist::copyOf(selected).toXml()));
    } else {
        Fail("Could not read \"" + kSignaturesSelected + "\" from " + path);
    }
    preferences.node().set("SignaturePlacedAboveQuotedText", Plist::boolean(true));
    const auto serialised = [&](const Plist& plist) {
        return file.binary ? plist.toBinary() : plist.toXml();
    };
    // The system writes these preferences in its own way: when none of them changes, the file
    // keeps its bytes and is not written.
    const QByteArray bytes = serialised(preferences);
    return AppleMailFileWrite{path, bytes == serialised(*file.plist) ? file.bytes : bytes};
}

// What a failed write of one file says, and the error that ends the sync (none: it goes on).
using WriteFailed = std::function<std::optional<Error>(const FileFailure&)>;

// The files written one after the other, up to a removal, go to the disk together. Each is
// logged when added and written (unless it holds its bytes already) when the batch is: a failure
// is its own, and the files after one that ends the sync are not written.
class WriteBatch {
public:
    explicit WriteBatch(ClientWrites& writes) : _writes(writes) {}

    void add(const QString& logLine, const AppleMailFileWrite& file, WriteFailed failed) {
        if (!file.contents.isEmpty() && FileHolds(file.path, file.contents))
            return;
        Info(logLine + " " + file.path + "...");
        _files.push_back({file.path, file.contents});
        _failed.push_back(std::move(failed));
    }

    std::optional<Error> write() {
        const std::span<const ClientFileWrite> files(_files);
        std::optional<Error> error;
        for (std::size_t next = 0; next < files.size() && !error; ++next) {
            // A file with nothing to write fails without reaching the disk.
            std::size_t end = next;
            while (end < files.size() && !files[end].contents.isEmpty())
                ++end;
            const auto failure = _writes.writeFiles(files.subspan(next, end - next));
            if (!failure && end == files.size())
                break;
            next = failure ? next + failure->index : end;
            error = _failed[next](failure ? failure->failure
                                          : FileFailure{"nothing to write to " + files[next].path});
        }
        _files.clear();
        _failed.clear();
        return error;
    }

private:
    ClientWrites& _writes;
    std::vector<ClientFileWrite> _files;
    std::vector<WriteFailed> _failed;
};

void Delete(const QString& path, ClientWrites& writes) {
    if (!QFileInfo::exists(path))
        return;
    Info("Deleting " + path + "...");
    if (!writes.removeFile(path))
        Fail("Could not delete " + path);
}

}  // namespace

std::variant<AppleMailChanges, SyncAppleMailSignaturesError> PlanAppleMailSync(
    const SyncInputs& inputs) {
    const QString library = inputs.paths.userLibrary();
    AppleMailChanges changes;
    changes.signaturesFolder =
        inputs.clientInfo.appleMailDataPathQ.value_or(QString()) + "/Signatures";
    changes.cacheFolder = library + "/Containers/com.apple.mail/Data/Library/Caches/com.apple.mail";
    if (!inputs.clientInfo.appleMailDataPathQ) {
        Fail("Could not create Signatures directory at " + changes.signaturesFolder);
        return Error{Kind::fileSystem, changes.signaturesFolder};
    }

    const QString accountsMapPath = *AppleMailAccountsMapPath(inputs.clientInfo);
    auto oldAccountsMap = ExistingList(accountsMapPath, true, Kind::fileSystem);
    if (auto* error = std::get_if<Error>(&oldAccountsMap))
        return *error;
    Info("oldAccountsMap:\n" + QString::fromUtf8(std::get<Plist>(oldAccountsMap).toXml()));
    changes.accountsInfo = AccountsStillAsListed(inputs.accountsInfo,
                                                 AccountsMapUrls(std::get<Plist>(oldAccountsMap)));
    AppleMailSyncInfo info = MakeAppleMailSyncInfo(changes.accountsInfo, inputs.idToSignatureMap);
    info.accountUuidToUrlEmailMap = AccountUrlEmails(std::get<Plist>(oldAccountsMap));
    const Plist accountsMap = NewAccountsMap(std::get<Plist>(oldAccountsMap), info);
    Info("newAccountsMap:\n" + QString::fromUtf8(accountsMap.toXml()));
    changes.accountsMap = {accountsMapPath, accountsMap.toXml()};

    const QString allSignaturesPath = changes.signaturesFolder + "/" + kAllSignaturesFileName;
    auto allSignatures =
        MergedAllSignatures(allSignaturesPath, Kind::fileSystem, info, inputs.idToSignatureMap);
    if (auto* error = std::get_if<Error>(&allSignatures))
        return *error;
    changes.allSignatures = {allSignaturesPath, std::get<Plist>(allSignatures).toXml()};

    for (const SignatureId id : info.knownOverallSignatureIdToInstallSet) {
        const Signature& signature = *inputs.idToSignatureMap.at(id);
        const QString uuidText = CanonicalUuidText(signature.uuid());
        changes.signatureFiles.push_back(
            {changes.signaturesFolder + "/" + SignatureFileName(uuidText),
             AppleMailSignatureFileContents(uuidText, inputs.clientInfo.bundleShortVersionString,
                                            inputs.clientInfo.bundleVersion,
                                            EffectiveText(signature).value_or(QString()))});
    }
    for (const SignatureId id : info.signatureOverallSignatureIdToUninstallSet) {
        changes.deletedFileNames.push_back(
            SignatureFileName(CanonicalUuidText(inputs.idToSignatureMap.at(id)->uuid())));
    }

    const QString cloudFolder = library + "/Mobile Documents/com~apple~mail/Data/V4/Signatures";
    if (QFileInfo(cloudFolder).isDir()) {
        changes.cloudFolder = cloudFolder;
        const QString cloudListPath = cloudFolder + "/" + kAllSignaturesFileName;
        if (QFileInfo::exists(cloudListPath)) {
            // Another Mac may have added a signature that this Mac's Mail has not merged yet:
            // the cloud list gets the same merge, never the local list over it.
            auto cloudList = MergedAllSignatures(cloudListPath, Kind::fileSystemCloud, info,
                                                 inputs.idToSignatureMap);
            if (auto* error = std::get_if<Error>(&cloudList))
                return *error;
            changes.cloudAllSignatures = {cloudListPath, std::get<Plist>(cloudList).toXml()};
        }
    }

    const auto kept =
        inputs.replaced.read(ClientKind::appleMail, *inputs.clientInfo.appleMailDataPathQ);
    if (!kept)
        return Error{Kind::fileSystem, inputs.replaced.path()};
    changes.preferences = NewPreferences(
        library + "/Containers/com.apple.mail/Data/Library/Preferences/com.apple.mail.plist", info,
        *kept, OwnSignatureUuids(std::get<Plist>(allSignatures), info), changes.replacedDefaults);
    return changes;
}

std::optional<SyncAppleMailSignaturesError> WriteAppleMailChanges(const AppleMailChanges& changes,
                                                                  ClientWrites& writes) {
    if (!writes.makeFolder(changes.signaturesFolder)) {
        Fail("Could not create Signatures directory at " + changes.signaturesFolder);
        return Error{Kind::fileSystem, changes.signaturesFolder};
    }
    WriteBatch batch(writes);
    const QString writing = QStringLiteral("Writing out");
    for (const auto& file : changes.signatureFiles) {
        batch.add(writing, file, [path = file.path](const FileFailure& failure) {
            Fail("Could not write out " + path + ": the file could not be replaced");
            return std::optional(Error{Kind::fileSystem, path, failure.cause});
        });
    }
    for (const auto* list : {&changes.accountsMap, &changes.allSignatures}) {
        batch.add(writing, *list, [path = list->path](const FileFailure& failure) {
            Fail("Could not write out " + path);
            return std::optional(Error{Kind::fileSystem, path, failure.cause});
        });
    }
    if (!changes.deletedFileNames.empty()) {
        if (auto error = batch.write())
            return error;
    }
    for (const QString& name : changes.deletedFileNames)
        Delete(changes.signaturesFolder + "/" + name, writes);

    if (!changes.cloudFolder.isEmpty()) {
        // Each cloud copy is replaced in one rename, so that a failed copy leaves the previous
        // file (and iCloud never carries a deletion to the person's other Macs).
        const auto overwrite = [&batch](const AppleMailFileWrite& file) {
            batch.add("Overwriting", file, [path = file.path](const FileFailure& failure) {
                Fail("Could not overwrite " + path);
                return std::optional(Error{Kind::fileSystemCloud, path, failure.cause});
            });
        };
        if (changes.cloudAllSignatures)
            overwrite(*changes.cloudAllSignatures);
        for (const auto& file : changes.signatureFiles)
            overwrite({changes.cloudFolder + "/" + QFileInfo(file.path).fileName(), file.contents});
        if (!changes.deletedFileNames.empty()) {
            if (auto error = batch.write())
                return error;
        }
        for (const QString& name : changes.deletedFileNames)
            Delete(changes.cloudFolder + "/" + name, writes);
    }

    if (changes.preferences) {
        batch.add(writing, *changes.preferences,
                  [path = changes.preferences->path](const FileFailure&) {
                      Fail("Could not write out " + path);
                      return std::optional<Error>();
                  });
    }
    return batch.write();
}

std::optional<SyncAppleMailSignaturesError> SyncAppleMailSignatures(const SyncInputs& inputs) {
    LogInfo(SyncNameText());
    auto planned = PlanAppleMailSync(inputs);
    if (auto* error = std::get_if<Error>(&planned))
        return *error;
    const AppleMailChanges& changes = std::get<AppleMailChanges>(planned);
    if (!KeepReplacedSettings(inputs, ClientKind::appleMail, *inputs.clientInfo.appleMailDataPathQ,
                              changes.replacedDefaults, SyncNameText()))
        return Error{Kind::fileSystem, inputs.replaced.path()};
    if (auto error = WriteAppleMailChanges(changes, inputs.writes))
        return error;

    // The cache goes once the store holds the installations. Told before they are saved, so that
    // the save's wait for the log covers its line too and the removal need not wait again.
    const bool deletesCache = QFileInfo::exists(changes.cacheFolder);
    if (deletesCache)
        Info("Deleting cache file " + changes.cacheFolder + "...");
    FinishSync(ClientKind::appleMail, WithAccounts(inputs, changes.accountsInfo), SyncNameText(),
               true);
    if (deletesCache && !inputs.writes.removeFolder(changes.cacheFolder))
        LogWarning(SyncNameText() + ": Could not delete cache file " + changes.cacheFolder);
    return std::nullopt;
}

}  // namespace quillet
