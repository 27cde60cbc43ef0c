#include "app/core/SyncReport.h"

#include <QStringList>

#include "common/Localization.h"

namespace quillet {

ClientSyncReport ClientSyncReport::Failed(std::optional<QString> line, std::set<SyncHint> hints) {
    return ClientSyncReport{true, false, std::move(line), std::move(hints)};
}

ClientSyncReport ClientWasRunningReport() {
    return ClientSyncReport::Failed(Localized(
        "Not updated because it was running. Please quit it and update the signature again."));
}

ClientSyncReport FileFailureReport(FileFailureCause cause, const QString& path) {
    const QString line = FillPlaceholders(Localized("Could not write %@."), {path});
    switch (cause) {
        case FileFailureCause::noSpace:
            return ClientSyncReport::Failed(line, {SyncHint::diskFull});
        case FileFailureCause::quotaExceeded:
            return ClientSyncReport::Failed(line, {SyncHint::diskQuota});
        case FileFailureCause::readOnlyDisk:
            return ClientSyncReport::Failed(line, {SyncHint::readOnlyDisk});
        case FileFailureCause::other:
            break;
    }
    return ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess});
}

ClientSyncReport AccountsNotFoundReport(const QStringList& emails) {
    ClientSyncReport report = ClientSyncReport::Failed(
        FillPlaceholders(Localized("Not updated for %@: the email account was not found. It will "
                                   "be updated once the account is found again."),
                         {emails.join(", ")}));
    report.counted = true;  // what it could write, it wrote
    return report;
}

QStringList SyncProblemParts(const ClientSyncReports& reports, const QString& appName) {
    std::set<SyncHint> hints;
    QStringList lines;
    for (const auto& [kind, report] : reports) {
        hints.insert(report.hints.begin(), report.hints.end());
        if (report.line)
            lines << DisplayName(kind) + ": " + *report.line;
    }
    QStringList parts;
    if (hints.contains(SyncHint::automation)) {
        parts << FillPlaceholders(Localized("Please allow %@ to control your email app in System "
                                            "Settings › Privacy & Security › Automation."),
                                  {appName});
    }
    if (hints.contains(SyncHint::fullDiskAccess)) {
        parts << FillPlaceholders(
            Localized("Please switch on Full Disk Access for %@ in System Settings › Privacy & "
                      "Security › Full Disk Access, then quit and reopen the app."),
            {appName});
    }
    if (hints.contains(SyncHint::database))
        parts << Localized("Could not read database.");
    if (hints.contains(SyncHint::diskFull)) {
        parts << Localized(
            "The disk is full. Please make some room on it, then update the "
            "signatures again.");
    }
    if (hints.contains(SyncHint::diskQuota)) {
        parts << Localized(
            "Your disk quota is used up. Please make some room, then update the "
            "signatures again.");
    }
    if (hints.contains(SyncHint::readOnlyDisk)) {
        parts << FillPlaceholders(
            Localized("The email app's files are on a read-only disk: %@ cannot change them."),
            {appName});
    }
    return parts + lines;
}

}  // namespace quillet
