#include "app/clients/linux/LinuxSyncSupport.h"

#include <QFile>
#include <QFileInfo>

#include "common/Log.h"
#include "platform/WholeFile.h"

namespace quillet {

std::optional<SyncLinuxClientSignaturesError> KeepPersonsSettings(
    const SyncInputs& inputs, ClientKind kind, const QString& storage,
    const ReplacedSettingsChanges& changes, const QString& syncName) {
    const auto error = inputs.replaced.update(kind, storage, changes, inputs.writes);
    if (!error)
        return std::nullopt;
    LogError(syncName + ": Could not keep the replaced signature settings: " + *error);
    return SyncLinuxClientSignaturesError{SyncLinuxClientSignaturesError::Kind::fileSystem,
                                          inputs.replaced.path(), *error};
}

std::optional<QByteArray> ReadClientFile(const QString& path) {
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return ReadWholeFile(path);
}

}  // namespace quillet
