#pragma once
// A whole fake Mac in a folder: a root with applications and the stand-in osascript and
// defaults, a home with its Library, a copy of the application's resources, and the workspace
// files. The tests, the end-to-end tests and the demo build their situations with it.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "common/ClientKind.h"
#include "platform/Paths.h"

namespace quillet {

class FakeMac {
public:
    // A new temporary folder, removed with the object; or an existing folder, kept.
    FakeMac();
    explicit FakeMac(const QString& folder);
    // A copy of another fake Mac in a new temporary folder inside PARENT, removed with the object.
    FakeMac(const FakeMac& original, const QString& parent);

    const QString& folder() const { return _folder; }
    QString root() const { return _folder + "/root"; }
    QString home() const { return _folder + "/home"; }
    QString bundlePath() const { return _folder + "/Resources"; }
    const Paths& paths() const { return _paths; }

    QString rootPath(const QString& absolutePath) const { return _paths.system(absolutePath); }
    QString homePath(const QString& relativePath) const { return home() + "/" + relativePath; }
    // Writes a file (creating folders); the path is absolute in the fake Mac's file system.
    void writeFile(const QString& path, const QByteArray& contents) const;

    // An application bundle FOLDER/NAME with Contents/Info.plist; returns its (real) path.
    QString installApplication(const QString& folder, const QString& bundleName,
                               const QString& bundleIdentifier, const QString& shortVersion,
                               const QString& bundleVersion, bool binaryInfoPlist = false) const;
    // A client's bundle under its usual name in /Applications, with its bundle identifier.
    QString installClient(ClientKind kind, const QString& shortVersion,
                          const QString& bundleVersion = {}) const;

    // Apple Mail's data folder ~/Library/Mail/VERSION/MailData; returns it.
    QString addAppleMailData(const QString& version = "V10") const;
    // A Mozilla profile folder PROFILES/NAME, PROFILES being the client's usual one; returns it.
    QString addMozillaProfile(ClientKind kind, const QString& profileName = "qlt1.default") const;
    static QString MozillaProfilesFolder(ClientKind kind);  // relative to ~/Library

    // The workspace: running applications and the log of terminate, launch and open lines.
    void setRunning(const QStringList& bundleIdentifiers) const;
    QStringList workspaceLog() const;

    // The stand-in defaults: "defaults read DOMAIN KEY" prints VALUE.
    void setDefaults(const QString& domain, const QString& key, const QString& value) const;
    // The stand-in osascript: canned answers for a script, recognised by its first-line name.
    void setScriptResult(const QString& name, const QString& standardOutput,
                         const QString& standardError = {}, int exitCode = 0) const;
    void setScriptCrash(const QString& name) const;
    QStringList osascriptRuns() const;  // script names, in run order
    QString lastScriptText(const QString& name) const;
    // Adds (or replaces) a script resource in this Mac's resources copy.
    void addScriptResource(const QString& name, const QString& body) const;

    void setAccessibilityTrusted(bool trusted) const;

private:
    void build();

    std::unique_ptr<QTemporaryDir> _temporary;
    QString _folder;
    Paths _paths;
};

// Copies a fake Mac's folder; the programs and resources, which nothing writes, as hard links.
void CopyFakeMacFolder(const QString& from, const QString& to);

}  // namespace quillet
