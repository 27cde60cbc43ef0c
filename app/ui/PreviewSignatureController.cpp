#include "app/ui/PreviewSignatureController.h"

#include <QBuffer>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include "app/ui/Fonts.h"
#include "app/ui/Images.h"
#include "common/Localization.h"
#include "platform/Workspace.h"

namespace quillet {

namespace {
const QByteArray kScheme = "quillet-preview";
}

void RegisterPreviewScheme() {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Neither local nor privileged: a page of this scheme reaches no file and no other page's
    // data; it may show remote images, as the mail programs do.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

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

// The preview's page: it loads its own HTML and nothing else; a clicked link goes to the
// default browser instead.
class PreviewPage : public QWebEnginePage {
public:
    PreviewPage(QWebEngineProfile* profile, Workspace& workspace, QObject* parent)
        : QWebEnginePage(profile, parent), _workspace(workspace) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (url.scheme() == kScheme && isMainFrame && type != NavigationTypeLinkClicked)
            return true;
        if (type == NavigationTypeLinkClicked)
            _workspace.openUrl(url);
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    Workspace& _workspace;
};

PreviewSignatureController::PreviewSignatureController(Workspace& workspace, QWidget* parent)
    : QWidget(parent) {
    setObjectName("previewPanel");
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet("QWidget#previewPanel { background: #F7F8FA; }");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 32, 48, 32);
    auto* header = new QHBoxLayout;
    auto* legend = new QLabel(Localized("Your email signature preview"), this);
    legend->setObjectName("previewLegend");
    legend->setFont(BodyFont(16, QFont::DemiBold));
    legend->setStyleSheet("color: #1E2B30;");
    auto* close = new QPushButton(this);
    close->setObjectName("closePreviewButton");
    close->setIcon(ImageIcon("close"));
    close->setIconSize({28, 28});
    close->setFlat(true);
    close->setCursor(Qt::PointingHandCursor);
    close->setToolTip(Localized("Close"));
    header->addWidget(legend, 1);
    header->addWidget(close);
    layout->addLayout(header);

    // A profile of its own, kept in memory: no cookies or cache on disk, its own scheme.
    auto* profile = new QWebEngineProfile(this);
    _schemeHandler = new PreviewSchemeHandler(profile);
    profile->installUrlSchemeHandler(kScheme, _schemeHandler);
    profile->setUrlRequestInterceptor(new LocalFileBlocker(profile));
    _page = new PreviewPage(profile, workspace, this);
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
    layout->addWidget(_webView, 1);

    connect(close, &QPushButton::clicked, this, &PreviewSignatureController::closeRequested);
    connect(_page, &QWebEnginePage::loadFinished, this, &PreviewSignatureController::loaded);
}

PreviewSignatureController::~PreviewSignatureController() {
    // The page goes before its profile.
    delete _webView;
    delete _page;
}

void PreviewSignatureController::engage(SignatureId id, const QString& html) {
    _signatureId = id;
    // Each load has its own host, so an answer for an earlier text is never taken for this one.
    _schemeHandler->host = "s" + QString::number(++_generation);
    _schemeHandler->html = html.toUtf8();
    _webView->load(QUrl(QString::fromLatin1(kScheme) + "://" + _schemeHandler->host + "/"));
}

}  // namespace quillet
