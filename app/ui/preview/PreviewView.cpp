#include "app/ui/preview/PreviewView.h"

#include <QBuffer>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

namespace quillet {

namespace {

const QByteArray kScheme = "quillet-preview";

// The web engine takes a scheme's rules only before its first object is made.
void RegisterPreviewScheme() {
    static const bool registered = [] {
        QWebEngineUrlScheme scheme(kScheme);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
        // Neither local nor privileged: a page of this scheme reaches no file and no other
        // page's data; it may show remote images, as the mail programs do.
        scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
        QWebEngineUrlScheme::registerScheme(scheme);
        return true;
    }();
    (void)registered;
}

}  // namespace

// Serves the one HTML text of the current preview, from memory.
class PreviewSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    QByteArray html;
    QString host;

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        if (job->requestUrl().host() != host) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(html);
        job->reply("text/html;charset=utf-8", buffer);
    }
};

namespace {

// Refuses every request for a local file, whatever the page asks for.
class LocalFileBlocker : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        if (scheme == "file" || scheme == "qrc")
            info.block(true);
    }
};

}  // namespace

// The preview's page: it loads its own HTML and nothing else; a clicked link goes out instead.
class PreviewPage : public QWebEnginePage {
public:
    PreviewPage(QWebEngineProfile* profile, PreviewView::OpenLink openLink, QObject* parent)
        : QWebEnginePage(profile, parent), _openLink(std::move(openLink)) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (url.scheme() == kScheme && isMainFrame && type != NavigationTypeLinkClicked)
            return true;
        if (type == NavigationTypeLinkClicked)
            _openLink(url);
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    PreviewView::OpenLink _openLink;
};

PreviewView::PreviewView(OpenLink openLink, QWidget* parent) : QWidget(parent) {
    RegisterPreviewScheme();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // A profile of its own, kept in memory: no cookies or cache on disk, its own scheme.
    auto* profile = new QWebEngineProfile(this);
    _schemeHandler = new PreviewSchemeHandler(profile);
    profile->installUrlSchemeHandler(kScheme, _schemeHandler);
    profile->setUrlRequestInterceptor(new LocalFileBlocker(profile));
    _page = new PreviewPage(profile, std::move(openLink), this);
    QWebEngineSettings* settings = _page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    _webView = new QWebEngineView(this);
    _webView->setObjectName("previewWebView");
    _webView->setPage(_page);
    _webView->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(_webView);
    connect(_page, &QWebEnginePage::loadFinished, this, &PreviewView::loaded);
}

PreviewView::~PreviewView() {
    // The page goes before its profile.
    delete _webView;
    delete _page;
}

void PreviewView::load(const QByteArray& html) {
    // Each load has its own host, so an answer for an earlier text is never taken for this one.
    _schemeHandler->host = "s" + QString::number(++_generation);
    _schemeHandler->html = html;
    _webView->load(QUrl(QString::fromLatin1(kScheme) + "://" + _schemeHandler->host + "/"));
}

}  // namespace quillet
