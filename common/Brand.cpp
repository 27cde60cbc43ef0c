#include "common/Brand.h"

#include "platform/Bundle.h"

namespace quillet {

namespace {

class KeyReader {
public:
    explicit KeyReader(const Bundle& bundle) : _bundle(bundle) {}

    QString text(const char* key) {
        const auto value = _bundle.infoString(key);
        if (!value)
            fail(QString("The application's Info.plist has no text for key \"%1\".").arg(key));
        return value.value_or(QString());
    }

    QUrl url(const char* key) {
        const QString value = text(key);
        if (!_error.isEmpty())
            return {};
        const QUrl url(value, QUrl::StrictMode);
        if (!url.isValid() || url.isRelative()) {
            fail(QString("The application's Info.plist key \"%1\" is not a valid URL: \"%2\".")
                     .arg(key, value));
        }
        return url;
    }

    const QString& error() const { return _error; }

private:
    void fail(const QString& message) {
        if (_error.isEmpty())
            _error = message;  // report the first problem
    }

    const Bundle& _bundle;
    QString _error;
};

}  // namespace

Result<Brand> Brand::load(const Bundle& bundle, Deliverable deliverable) {
    KeyReader read(bundle);
    Brand brand;
    const bool desktop = deliverable == Deliverable::desktopApp;
    brand._fullName = read.text("QWBrandFullName");
    brand._supportFolder = read.text("QWBrandSupportFolder");
    brand._shortVersion = read.text("CFBundleShortVersionString");
    brand._bundleVersion = read.text("CFBundleVersion");
    brand._bannerEnabled = read.text("QWBrandBannerEnabled") == "YES";
    brand._bannerImageURL = read.url("QWBrandBannerImageURL");
    brand._bannerTargetURL = read.url("QWBrandBannerTargetURL");
    brand._feedbackLink = read.text("QWBrandFeedbackURL");
    brand._helpLink = read.text("QWBrandHelpURL");
    brand._appName = read.text("CFBundleName");
    if (desktop) {
        brand._helperBundleID = read.text("QWBrandHelperBundleID");
        brand._newOutlookURL = read.url("QWBrandNewOutlookURL");
        brand._newOutlookMessage = read.text("QWBrandNewOutlookMessage");
        brand._newOutlookButton = read.text("QWBrandNewOutlookButton");
    }
    if (read.error().isEmpty()) {
        for (const QString& link : {brand._feedbackLink, brand._helpLink}) {
            if (!BuildBrandLink(link, {}).isValid()) {
                const char* key =
                    link == brand._feedbackLink ? "QWBrandFeedbackURL" : "QWBrandHelpURL";
                return Failed{
                    QString("The application's Info.plist key \"%1\" is not a valid URL: \"%2\".")
                        .arg(key, link)};
            }
        }
    }
    if (!read.error().isEmpty())
        return Failed{read.error()};
    return brand;
}

QUrl Brand::feedbackURL() const {
    return BuildBrandLink(_feedbackLink, "Feedback from Mac Desktop App v" + _shortVersion);
}

QUrl Brand::helpURL() const {
    return BuildBrandLink(_helpLink, "Help with Mac Desktop App v" + _shortVersion);
}

QString Brand::versionLine() const {
    return _appName + " " + _shortVersion + " (" + _bundleVersion + ")";
}

QUrl BuildBrandLink(const QString& linkText, const QString& subject) {
    QUrl url(linkText, QUrl::StrictMode);
    if (linkText.startsWith("mailto:")) {
        // The subject is percent-encoded here, so that "&", "=" and "+" in it stay text.
        url.setQuery("subject=" + QString::fromLatin1(QUrl::toPercentEncoding(subject)),
                     QUrl::StrictMode);
    }
    return url;
}

}  // namespace quillet
