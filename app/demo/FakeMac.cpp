#include "app/demo/FakeMac.h"

#include <unistd.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "app/clients/Detection.h"
#include "platform/Plist.h"

namespace quillet {

namespace {

bool CopyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + "/" + QDir(from).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else {
            QFile::remove(target);
            if (!QFile::copy(path, target))
                return false;
        }
    }
    return true;
}

void InstallExecutable(const QString& from, const QString& to) {
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    // A copy, not a link: the stand-in finds its fake Mac from the path it was started with.
    QFile::copy(from, to);
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                  QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                  QFile::ExeOther);
}

}  // namespace

FakeMac::FakeMac()
    : _temporary(std::make_unique<QTemporaryDir>()),
      _folder(_temporary->path()),
      _paths(_folder + "/home", _folder + "/root") {
    build();
}

FakeMac::FakeMac(const QString& folder)
    : _folder(QDir(folder).absolutePath()), _paths(_folder + "/home", _folder + "/root") {
    build();
}

FakeMac::FakeMac(const FakeMac& original, const QString& parent)
    : _temporary(std::make_unique<QTemporaryDir>(parent + "/fake-mac-XXXXXX")),
      _folder(_temporary->path()),
      _paths(_folder + "/home", _folder + "/root") {
    CopyFakeMacFolder(original.folder(), _folder);
}

void FakeMac::build() {
    for (const char* folder : {"/Applications", "/System/Applications", "/usr/bin", "/tmp",
                               "/var/run/workspace", "/var/fake-mac"}) {
        QDir().mkpath(rootPath(folder));
    }
    for (const char* folder : {"Library/Application Support", "Library/Logs", "Documents"}) {
        QDir().mkpath(homePath(folder));
    }
    InstallExecutable(QUILLET_FAKE_OSASCRIPT_PATH, rootPath("/usr/bin/osascript"));
    InstallExecutable(QUILLET_FAKE_DEFAULTS_PATH, rootPath("/usr/bin/defaults"));
    CopyFolder(QUILLET_BUILT_RESOURCES_DIR, bundlePath());
    writeFile("/var/run/workspace/running", {});
}

void FakeMac::writeFile(const QString& path, const QByteArray& contents) const {
    const QString real = path.startsWith(home()) || path.startsWith(root()) ? path : rootPath(path);
    QDir().mkpath(QFileInfo(real).absolutePath());
    QFile file(real);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

QString FakeMac::installApplication(const QString& folder, const QString& bundleName,
                                    const QString& bundleIdentifier, const QString& shortVersion,
                                    const QString& bundleVersion, bool binaryInfoPlist) const {
    const QString bundle = rootPath(folder) + "/" + bundleName;
    QDir().mkpath(bundle + "/Contents/MacOS");
    Plist info = Plist::dictionary();
    info.node().set("CFBundleIdentifier", Plist::string(bundleIdentifier));
    info.node().set("CFBundleName", Plist::string(QFileInfo(bundleName).completeBaseName()));
    info.node().set("CFBundleShortVersionString", Plist::string(shortVersion));
    info.node().set("CFBundleVersion",
                    Plist::string(bundleVersion.isEmpty() ? shortVersion : bundleVersion));
    WritePlistFile(bundle + "/Contents/Info.plist", info, binaryInfoPlist);
    return bundle;
}

QString FakeMac::installClient(ClientKind kind, const QString& shortVersion,
                               const QString& bundleVersion) const {
    return installApplication("/Applications", ApplicationBundleName(kind), BundleIdentifier(kind),
                              shortVersion, bundleVersion);
}

QString FakeMac::addAppleMailData(const QString& version) const {
    const QString path = _paths.userLibrary() + "/Mail/" + version + "/MailData";
    QDir().mkpath(path);
    return path;
}

QString FakeMac::MozillaProfilesFolder(ClientKind kind) {
    return kind == ClientKind::postbox ? "Application Support/PostboxApp/Profiles"
                                       : "Thunderbird/Profiles";
}

QString FakeMac::addMozillaProfile(ClientKind kind, const QString& profileName) const {
    const QString path =
        _paths.userLibrary() + "/" + MozillaProfilesFolder(kind) + "/" + profileName;
    QDir().mkpath(path);
    return path;
}

void FakeMac::setRunning(const QStringList& bundleIdentifiers) const {
    QString text;
    for (const QString& identifier : bundleIdentifiers)
        text += identifier + "\n";
    writeFile("/var/run/workspace/running", text.toUtf8());
}

QStringList FakeMac::workspaceLog() const {
    QFile file(rootPath("/var/run/workspace/log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

void FakeMac::setDefaults(const QString& domain, const QString& key, const QString& value) const {
    writeFile("/var/fake-mac/defaults/" + domain + "/" + key, value.toUtf8());
}

void FakeMac::setScriptResult(const QString& name, const QString& standardOutput,
                              const QString& standardError, int exitCode) const {
    const QString folder = "/var/fake-mac/osascript/" + name + "/";
    writeFile(folder + "stdout", standardOutput.toUtf8());
    writeFile(folder + "stderr", standardError.toUtf8());
    writeFile(folder + "exit", QByteArray::number(exitCode));
}

void FakeMac::setScriptCrash(const QString& name) const {
    writeFile("/var/fake-mac/osascript/" + name + "/crash", {});
}

QStringList FakeMac::osascriptRuns() const {
    QFile file(rootPath("/var/fake-mac/osascript.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        names.append(line.section('\t', 0, 0));
    }
    return names;
}

QString FakeMac::lastScriptText(const QString& name) const {
    QFile file(rootPath("/var/fake-mac/osascript/" + name + "/last-script"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void FakeMac::addScriptResource(const QString& name, const QString& body) const {
    QFile file(bundlePath() + "/" + name + ".applescript");
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(("-- " + name + "\n" + body).toUtf8());
    }
}

void FakeMac::setAccessibilityTrusted(bool trusted) const {
    if (trusted) {
        writeFile("/var/run/accessibility/trusted", {});
    } else {
        QFile::remove(rootPath("/var/run/accessibility/trusted"));
    }
}

void CopyFakeMacFolder(const QString& from, const QString& to) {
    QDirIterator files(from, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    QDir().mkpath(to);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString relative = path.mid(from.size());
        const QString target = to + relative;
        if (files.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else if (relative.startsWith("/Resources/") || relative.startsWith("/root/usr/bin/")) {
            ::link(QFile::encodeName(path).constData(), QFile::encodeName(target).constData());
        } else {
            QFile::copy(path, target);
        }
    }
}

}  // namespace quillet
