#include "app/clients/sync/ClientWrites.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "app/clients/linux/EvolutionRegistry.h"
#include "common/Log.h"
#include "platform/AtomicFile.h"
#include "platform/FileRemoval.h"

namespace quillet {

std::optional<QString> ClientWrites::changeRegistrySource(const EvolutionRegistry& registry,
                                                          const RegistrySourceChange& change) {
    switch (change.kind) {
        case RegistrySourceChange::Kind::create:
            return registry.create(change.uid, change.data);
        case RegistrySourceChange::Kind::write:
            return registry.write(change.uid, change.data);
        case RegistrySourceChange::Kind::remove:
            return registry.remove(change.uid);
    }
    return QStringLiteral("an unknown change");
}

std::optional<FileFailure> ClientWrites::makeOwnersFile(const QString& path,
                                                        const QByteArray& contents) {
    return WriteFileAtomicallyOrFail(path, contents, FileAccess::ownerOnly());
}

std::optional<ClientBatchFailure> ClientWrites::writeFiles(std::span<const ClientFileWrite> files) {
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (auto failure = writeFile(files[index].path, files[index].contents))
            return ClientBatchFailure{index, std::move(*failure)};
    }
    return std::nullopt;
}

namespace {

// The folders that the files renamed into, each synchronised once, in the order first written
// into; a failure is that of the first file written into the folder, whose rename may not
// survive a power loss.
std::optional<ClientBatchFailure> SynchroniseFolders(std::span<const ClientFileWrite> written) {
    std::vector<std::pair<QString, std::size_t>> folders;
    for (std::size_t index = 0; index < written.size(); ++index) {
        const QString folder = FolderWrittenInto(written[index].path);
        if (std::none_of(folders.begin(), folders.end(),
                         [&](const auto& known) { return known.first == folder; }))
            folders.emplace_back(folder, index);
    }
    for (const auto& [folder, first] : folders) {
        if (auto failure = SynchroniseFolderOrFail(folder))
            return ClientBatchFailure{first, std::move(*failure)};
    }
    return std::nullopt;
}

// Each change waits until the lines logged before it, which may describe it, are on disk.
class Direct final : public ClientWrites {
public:
    std::optional<FileFailure> writeFile(const QString& path, const QByteArray& contents) override {
        SyncLogToDisk();
        return WriteFileAtomicallyOrFail(path, contents);
    }
    // The lines logged before the batch tell all of it: one wait for the log, one for each file's
    // bytes, and one for each folder after all its renames. A power loss before the folder's
    // leaves each file old or new, and the restore point kept what each held.
    std::optional<ClientBatchFailure> writeFiles(std::span<const ClientFileWrite> files) override {
        if (files.empty())
            return std::nullopt;
        SyncLogToDisk();
        for (std::size_t index = 0; index < files.size(); ++index) {
            auto failure =
                WriteFileAtomicallyOrFail(files[index].path, files[index].contents,
                                          FileAccess::ofTarget(), Durability::contentsOnly);
            if (failure) {
                // Those written before it stay written, as they would one by one.
                (void)SynchroniseFolders(files.first(index));
                return ClientBatchFailure{index, std::move(*failure)};
            }
        }
        return SynchroniseFolders(files);
    }
    bool removeFile(const QString& path) override {
        SyncLogToDisk();
        return QFile::remove(path);
    }
    bool removeFolder(const QString& path) override {
        SyncLogToDisk();
        return !RemoveWithoutFollowingLinks(path);
    }
    bool makeFolder(const QString& path) override {
        return QDir().mkpath(path) && QFileInfo(path).isDir();
    }
    QString transactionEnd() const override {
        SyncLogToDisk();
        return QStringLiteral("COMMIT");
    }
    std::optional<QString> changeRegistrySource(const EvolutionRegistry& registry,
                                                const RegistrySourceChange& change) override {
        SyncLogToDisk();
        return ClientWrites::changeRegistrySource(registry, change);
    }
    void statementRan(const QString&) override {}
    std::optional<QString> runChangingScript(const AppleScriptRunner& runner, const QString& name,
                                             const Replacements& replacements,
                                             bool treatEmptyOutputAsError) override {
        SyncLogToDisk();
        return runner.runAppleScript(name, replacements, treatEmptyOutputAsError);
    }
};

}  // namespace

ClientWrites& DirectClientWrites() {
    static Direct direct;
    return direct;
}

bool FileHolds(const QString& path, const QByteArray& contents) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != contents.size())
        return false;
    const QByteArray bytes = file.readAll();
    return file.error() == QFileDevice::NoError && bytes == contents;
}

}  // namespace quillet
