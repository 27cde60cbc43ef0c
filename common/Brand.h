#pragma once
// What differs between brands of one build: names, folders, links, the banner and the
// new-Outlook notice, all read from the application's Info.plist and kept for the process.

#include <QString>
#include <QUrl>
#include <optional>

#include "common/Result.h"

namespace quillet {

class Bundle;

class Brand {
public:
    enum class Deliverable { desktopApp, extension };

    // Reads every key the deliverable uses. A missing key, or a URL that is not a well-formed
    // absolute URL, gives no brand and a message naming the key.
    static Result<Brand> load(const Bundle& bundle, Deliverable deliverable);

    const QString& fullName() const { return _fullName; }
    const QString& appName() const { return _appName; }
    const QString& supportFolder() const { return _supportFolder; }
    const QString& helperBundleID() const { return _helperBundleID; }
    const QUrl& newOutlookURL() const { return _newOutlookURL; }
    const QString& newOutlookMessage() const { return _newOutlookMessage; }
    const QString& newOutlookButton() const { return _newOutlookButton; }
    bool bannerEnabled() const { return _bannerEnabled; }
    const QUrl& bannerImageURL() const { return _bannerImageURL; }
    const QUrl& bannerTargetURL() const { return _bannerTargetURL; }
    const QString& shortVersion() const { return _shortVersion; }
    const QString& bundleVersion() const { return _bundleVersion; }

    // The Feedback and Help links; a mail link gets the one subject item as its query.
    QUrl feedbackURL() const;
    QUrl helpURL() const;

    // "CFBundleName CFBundleShortVersionString (CFBundleVersion)", the log's version line.
    QString versionLine() const;

private:
    Brand() = default;

    QString _fullName, _appName, _supportFolder, _helperBundleID;
    QUrl _newOutlookURL;
    QString _newOutlookMessage, _newOutlookButton;
    bool _bannerEnabled = false;
    QUrl _bannerImageURL, _bannerTargetURL;
    QString _feedbackLink, _helpLink;
    QString _shortVersion, _bundleVersion;
};

// Link builder: a "mailto:" text gets its query replaced by the one subject item; any other
// link text is returned as parsed, without the subject.
QUrl BuildBrandLink(const QString& linkText, const QString& subject);

}  // namespace quillet
