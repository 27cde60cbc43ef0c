#include "app/clients/Detection.h"

#include <QFileInfo>

#include "app/clients/DetectionProfiles.h"
#include "common/Log.h"
#include "platform/Plist.h"

namespace quillet {

namespace {

constexpr const char* kAppleMailDataVersions[] = {"V10", "V9", "V8", "V7", "V6", "V5", "V4", "V3"};

// A bundle whose Info.plist is unreadable, not a dictionary or lacks a version text is not
// the client's bundle; the next folder may still hold one.
ClientInfoPtr ReadBundle(const QString& bundlePath) {
    if (!QFileInfo(bundlePath).isDir())
        return nullptr;
    const auto info = ReadPlistFile(bundlePath + "/Contents/Info.plist");
    return info ? ClientInfoFromInfoPlist(bundlePath, *info) : nullptr;
}

bool CompleteAppleMail(ClientInfo& info, const Paths& paths) {
    for (const char* version : kAppleMailDataVersions) {
        const QString path = paths.userLibrary() + "/Mail/" + version + "/MailData";
        if (QFileInfo::exists(path)) {
            info.appleMailDataPathQ = path;
            LogInfo("Found Apple Mail data at " + path);
            return true;
        }
    }
    LogError("Could not find Apple Mail data path");
    return false;
}

bool CompleteOutlook(ClientInfo& info, const OutlookModeProbe& outlookMode) {
    if (outlookMode.get().mode != OutlookMode::legacy)
        return false;
    info.outlookVersionKindQ = OutlookVersionKindFor(info.bundleShortVersionString);
    return true;
}

bool CompleteMozilla(ClientKind kind, ClientInfo& info, const Paths& paths) {
    const QStringList folders = MozillaProfilesFolders(kind, paths);
    info.mozillaBasedClientProfilePathQ =
        FindDefaultMozillaProfile(kind, MozillaProfilesHomes(folders), folders);
    return info.mozillaBasedClientProfilePathQ.has_value();
}

}  // namespace

ClientInfoPtr ClientInfoFromInfoPlist(const QString& bundlePath, const Plist& info) {
    if (!info.isDictionary())
        return nullptr;
    const auto shortVersion = info.dictionaryString("CFBundleShortVersionString");
    const auto version = info.dictionaryString("CFBundleVersion");
    if (!shortVersion || !version)
        return nullptr;
    return std::make_shared<ClientInfo>(bundlePath, *shortVersion, *version);
}

QString ApplicationBundleName(ClientKind kind) {
    switch (kind) {
        case ClientKind::appleMail:
            return "Mail.app";
        case ClientKind::outlook:
            return "Microsoft Outlook.app";
        case ClientKind::postbox:
            return "Postbox.app";
        case ClientKind::spark:
            return "Spark.app";
        case ClientKind::thunderbird:
            return "Thunderbird.app";
        case ClientKind::evolution:
        case ClientKind::kmail:
        case ClientKind::geary:
            break;  // Linux only
    }
    return {};
}

QStringList ApplicationFolders(ClientKind kind) {
    switch (kind) {
        case ClientKind::appleMail:
            return {"/Applications", "/System/Applications"};
        case ClientKind::outlook:
            return {"/Applications", "/Applications/Microsoft Office 2011"};
        case ClientKind::postbox:
        case ClientKind::spark:
        case ClientKind::thunderbird:
            return {"/Applications"};
        case ClientKind::evolution:
        case ClientKind::kmail:
        case ClientKind::geary:
            break;  // Linux only
    }
    return {};
}

ClientInfoMap FindInstalledClients(const Paths& paths, const OutlookModeProbe& outlookMode) {
    ClientInfoMap map;
    for (ClientKind kind : kAllClientKinds) {
        ClientInfoPtr info;
        for (const QString& folder : ApplicationFolders(kind)) {
            info = ReadBundle(paths.system(folder) + "/" + ApplicationBundleName(kind));
            if (info)
                break;
        }
        if (info && CompleteClientInfo(kind, *info, paths, outlookMode))
            map[kind] = info;
    }
    return map;
}

bool CompleteClientInfo(ClientKind kind, ClientInfo& info, const Paths& paths,
                        const OutlookModeProbe& outlookMode) {
    switch (kind) {
        case ClientKind::appleMail:
            return CompleteAppleMail(info, paths);
        case ClientKind::outlook:
            return CompleteOutlook(info, outlookMode);
        case ClientKind::postbox:
        case ClientKind::thunderbird:
            return CompleteMozilla(kind, info, paths);
        case ClientKind::spark:
            return true;
        case ClientKind::evolution:
        case ClientKind::kmail:
        case ClientKind::geary:
            break;  // Linux only
    }
    return false;
}

std::vector<ClientKind> AvailableClientKinds(const ClientInfoMap& map) {
    std::vector<ClientKind> kinds;
    for (ClientKind kind : kAllClientKinds) {
        if (map.count(kind))
            kinds.push_back(kind);
    }
    return kinds;
}

int CompareVersions(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            // Leading zeros carry no value; then the longer run is the larger number, and runs
            // of equal length compare digit by digit, so no run can overflow.
            QStringView runA = QStringView(a).mid(startA, i - startA);
            QStringView runB = QStringView(b).mid(startB, j - startB);
            while (runA.size() > 1 && runA.front() == u'0')
                runA = runA.mid(1);
            while (runB.size() > 1 && runB.front() == u'0')
                runB = runB.mid(1);
            if (runA.size() != runB.size())
                return runA.size() < runB.size() ? -1 : 1;
            if (const int order = runA.compare(runB); order != 0)
                return order < 0 ? -1 : 1;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

OutlookVersionKind OutlookVersionKindFor(const QString& shortVersion) {
    if (CompareVersions(shortVersion, "16.80") >= 0)
        return OutlookVersionKind::v16_80OrNewer;
    if (CompareVersions(shortVersion, "16.41") >= 0)
        return OutlookVersionKind::v16_41To79;
    if (CompareVersions(shortVersion, "16.0") >= 0)
        return OutlookVersionKind::v16_Pre41;
    if (CompareVersions(shortVersion, "15.0") >= 0)
        return OutlookVersionKind::v15;
    return OutlookVersionKind::v14OrOlder;
}

QString ClientDescription(ClientKind kind, const ClientInfo& info) {
    QString text = DisplayName(kind) + " " + info.bundleShortVersionString;
    if (!info.bundleVersion.isEmpty() && info.bundleVersion != info.bundleShortVersionString) {
        text += " (" + info.bundleVersion + ")";
    }
    return text;
}

bool IsNewOutlookDetected(const OutlookModeProbe& probe, const ClientInfoMap& map) {
    return probe.get().mode != OutlookMode::legacy && !map.count(ClientKind::outlook);
}

}  // namespace quillet
