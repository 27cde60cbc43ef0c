#include "app/clients/sync/ClientWrites.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

namespace {

// Each change waits until the lines logged before it, which may describe it, are on disk.
class Direct final : public ClientWrites {
public:
    std::optional<FileFailure> writeFile(const QString& path, const QByteArray& contents) override {
        SyncLogToDisk();
        return WriteFileAtomicallyOrFail(path, contents);
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
