#pragma once
// The preview of a signature's HTML over the signature panel, in a web view: signatures are
// tables with inline styles that only a browser engine lays out faithfully. The page runs no
// script, reads no local file and follows no link inside the view (links open in the default
// browser); the HTML is served from memory, so its size has no limit.

#include <QWidget>
#include <optional>

#include "common/SignatureId.h"

class QWebEngineView;
class QLabel;

namespace quillet {

class PreviewPage;
class PreviewSchemeHandler;
class Workspace;

// The URL scheme the preview serves its HTML under; registered before the application object
// is created (the web engine requires it then).
void RegisterPreviewScheme();

class PreviewSignatureController : public QWidget {
    Q_OBJECT
public:
    PreviewSignatureController(Workspace& workspace, QWidget* parent = nullptr);
    ~PreviewSignatureController() override;

    // Loads the signature's text as HTML, with no base URL of its own.
    void engage(SignatureId id, const QString& html);
    std::optional<SignatureId> signatureId() const { return _signatureId; }
    QWebEngineView* webView() const { return _webView; }

signals:
    void closeRequested();
    // The HTML finished loading (ok false: it could not be shown).
    void loaded(bool ok);

private:
    std::optional<SignatureId> _signatureId;
    QWebEngineView* _webView;
    PreviewPage* _page;
    PreviewSchemeHandler* _schemeHandler;
    int _generation = 0;
};

}  // namespace quillet
