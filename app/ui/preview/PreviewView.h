#pragma once
// A signature's HTML in a web view: signatures are tables with inline styles that only a browser
// engine lays out faithfully. The page runs no script, reads no local file and follows no link
// inside the view (a clicked link goes to `openLink`); the HTML is served from memory, so its
// size has no limit.

#include <QWidget>
#include <functional>

class QWebEngineView;

namespace quillet {

class PreviewPage;
class PreviewSchemeHandler;

class PreviewView : public QWidget {
    Q_OBJECT
public:
    using OpenLink = std::function<void(const QUrl&)>;
    PreviewView(OpenLink openLink, QWidget* parent = nullptr);
    ~PreviewView() override;

    // Shows the HTML, with no base URL of its own; `loaded` tells how it went.
    void load(const QByteArray& html);
    QWebEngineView* webView() const { return _webView; }

signals:
    // The HTML finished loading (ok false: it could not be shown).
    void loaded(bool ok);

private:
    QWebEngineView* _webView;
    PreviewPage* _page;
    PreviewSchemeHandler* _schemeHandler;
    int _generation = 0;
};

}  // namespace quillet
