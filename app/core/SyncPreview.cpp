#include "app/core/SyncPreview.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace quillet {

namespace {

std::optional<QByteArray> CurrentBytes(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// A folder that exists, or could be made: its nearest existing ancestor is a folder.
bool FolderCanExist(const QString& path) {
    QFileInfo info(path);
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return false;
        info = QFileInfo(parent);
    }
    return info.isDir();
}

class PreviewWrites final : public ClientWrites {
public:
    explicit PreviewWrites(ClientPlan& plan) : _plan(plan) {}

    std::optional<FileFailure> writeFile(const QString& path, const QByteArray& contents) override {
        if (QFileInfo(path).isDir())
            return FileFailure{QStringLiteral("a folder is in the way")};
        if (!FolderCanExist(QFileInfo(path).absolutePath()))
            return FileFailure{QStringLiteral("its folder cannot be made")};
        PlannedFile& file = entry(path);
        file.after = contents;
        file.change =
            QFileInfo::exists(path) ? PlannedFile::Change::modify : PlannedFile::Change::create;
        return std::nullopt;
    }

    bool removeFile(const QString& path) override {
        if (!QFileInfo(path).isFile())
            return false;
        PlannedFile& file = entry(path);
        file.after.clear();
        file.change = PlannedFile::Change::remove;
        return true;
    }

    bool removeFolder(const QString& path) override {
        // A link is removed itself, as the pass removes it: what it points to stays.
        if (QFileInfo(path).isSymLink()) {
            PlannedFile& link = entry(path);
            link.after.clear();
            link.change = PlannedFile::Change::remove;
            return true;
        }
        QDirIterator files(path, QDir::Files | QDir::Hidden | QDir::System,
                           QDirIterator::Subdirectories);
        QStringList paths;
        while (files.hasNext())
            paths << files.next();
        paths.sort();
        for (const QString& file : paths)
            removeFile(file);
        return true;
    }

    bool makeFolder(const QString& path) override { return FolderCanExist(path); }

    // What the command makes first and then writes shows as one new file.
    std::optional<FileFailure> makeOwnersFile(const QString& path, const QByteArray&) override {
        entry(path);
        return std::nullopt;
    }

    // The registry writes the source's file as it is given: the file is the change to show.
    std::optional<QString> changeRegistrySource(const EvolutionRegistry&,
                                                const RegistrySourceChange& change) override {
        if (change.kind == RegistrySourceChange::Kind::remove) {
            if (QFileInfo(change.path).isFile())
                removeFile(change.path);
            return std::nullopt;
        }
        if (auto failure = writeFile(change.path, change.data))
            return failure->description;
        return std::nullopt;
    }

    void announceChange(const std::function<void()>&) override {}

    QString transactionEnd() const override { return QStringLiteral("ROLLBACK"); }

    void statementRan(const QString& expandedSql) override { _plan.sql << expandedSql; }

    std::optional<QString> runChangingScript(const AppleScriptRunner&, const QString& name,
                                             const Replacements& replacements, bool) override {
        _plan.scripts.push_back(PlannedScript{name, replacements});
        return QStringLiteral("true");  // what Outlook's scripts answer when they succeed
    }

private:
    PlannedFile& entry(const QString& path) {
        const auto found = std::find_if(_plan.files.begin(), _plan.files.end(),
                                        [&](const PlannedFile& file) { return file.path == path; });
        if (found != _plan.files.end())
            return *found;
        const auto before = CurrentBytes(path);
        _plan.files.push_back(
            PlannedFile{path,
                        before ? PlannedFile::Change::modify : PlannedFile::Change::create,
                        before.value_or(QByteArray()),
                        {}});
        return _plan.files.back();
    }

    ClientPlan& _plan;
};

}  // namespace

SyncPreview::SyncPreview() = default;
SyncPreview::~SyncPreview() = default;

ClientWrites& SyncPreview::writesFor(ClientKind kind) {
    auto& writes = _writes[kind];
    if (!writes)
        writes = std::make_unique<PreviewWrites>(_plans[kind]);
    return *writes;
}

}  // namespace quillet
