#include "app/core/SyncClients.h"

#include "common/Localization.h"

namespace quillet {

namespace {

// A sync call and its translation as one table entry.
template <typename Sync>
ClientSync Entry(ClientKind kind, Sync sync) {
    return ClientSync{kind, [sync](const SyncInputs& inputs) { return ReportOf(sync(inputs)); }};
}

QString Filled(const char* text, const QStringList& values) {
    return FillPlaceholders(Localized(text), values);
}

}  // namespace

std::vector<ClientSync> ClientSyncs(const ClientSyncEnvironment& environment) {
    const OutlookSyncEnvironment outlook{environment.runner, environment.bundle};
    return {
        Entry(ClientKind::appleMail, SyncAppleMailSignatures),
        Entry(
            ClientKind::outlook,
            [outlook](const SyncInputs& inputs) { return SyncOutlookSignatures(inputs, outlook); }),
        Entry(ClientKind::postbox, SyncPostboxSignatures),
        Entry(ClientKind::spark, SyncSparkSignatures),
        Entry(ClientKind::thunderbird, SyncThunderbirdSignatures),
        Entry(ClientKind::evolution,
              [](const SyncInputs& inputs) {
                  return SyncEvolutionSignatures(inputs, EvolutionRegistry());
              }),
        Entry(ClientKind::kmail, SyncKMailSignatures),
        Entry(ClientKind::geary, SyncGearySignatures),
    };
}

ClientSyncReport ReportOf(const std::optional<SyncAppleMailSignaturesError>& error) {
    using Kind = SyncAppleMailSignaturesError::Kind;
    if (!error)
        return ClientSyncReport::Succeeded();
    if (error->kind == Kind::badData) {
        return ClientSyncReport::Failed(
            Filled("Bad data in file %@.", {error->pathX.value_or(QString())}));
    }
    return ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess});
}

ClientSyncReport ReportOf(const std::optional<SyncOutlookSignaturesError>& error) {
    using Kind = SyncOutlookSignaturesError::Kind;
    if (!error)
        return ClientSyncReport::Succeeded();
    const QString app = error->appSignatureNameX.value_or(QString());
    const QString client = error->clientSignatureNameX.value_or(QString());
    switch (error->kind) {
        case Kind::appleScript:
            return ClientSyncReport::Failed(std::nullopt, {SyncHint::automation});
        case Kind::uninstallation:
            return ClientSyncReport::Failed(
                app == client
                    ? Filled("Could not uninstall signature: \"%@\".", {app})
                    : Filled("Could not uninstall signature: \"%@\" (\"%@\").", {app, client}));
        case Kind::duplicate:
            return ClientSyncReport::Failed(Filled("Duplicate signature: \"%@\".",
                                                   {error->signatureNameX.value_or(QString())}));
        case Kind::defaultSignature: {
            // The signatures themselves are installed: the client counts as updated.
            ClientSyncReport report =
                ClientSyncReport::Failed(Localized("Could not set default signatures."));
            report.counted = true;
            return report;
        }
    }
    return ClientSyncReport::Failed(std::nullopt);
}

ClientSyncReport ReportOf(const std::optional<SyncPostboxSignaturesError>& error) {
    using Kind = SyncPostboxSignaturesError::Kind;
    if (!error)
        return ClientSyncReport::Succeeded();
    if (error->kind == Kind::badData)
        return ClientSyncReport::Failed(Filled("Bad data in file %@.", {error->pathX}));
    return ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess});
}

ClientSyncReport ReportOf(const std::optional<SyncSparkSignaturesError>& error) {
    using Kind = SyncSparkSignaturesError::Kind;
    if (!error)
        return ClientSyncReport::Succeeded();
    if (error->kind == Kind::database) {
        return ClientSyncReport::Failed(Filled("Could not read database file: %@.", {error->pathX}),
                                        {SyncHint::database});
    }
    return ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess});
}

ClientSyncReport ReportOf(const std::optional<SyncLinuxClientSignaturesError>& error) {
    using Kind = SyncLinuxClientSignaturesError::Kind;
    if (!error)
        return ClientSyncReport::Succeeded();
    switch (error->kind) {
        case Kind::registry:
            return ClientSyncReport::Failed(
                Filled("Could not change Evolution's signatures: %@.", {error->detail}));
        case Kind::busy:
            return ClientSyncReport::Failed(Filled("File in use: %@.", {error->pathX}));
        case Kind::fileSystem:
            break;
    }
    return ClientSyncReport::Failed(Filled("Could not write file %@.", {error->pathX}));
}

ClientSyncReport ReportOf(const std::optional<SyncThunderbirdSignaturesError>& error) {
    if (!error)
        return ClientSyncReport::Succeeded();
    return ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess});
}

}  // namespace quillet
