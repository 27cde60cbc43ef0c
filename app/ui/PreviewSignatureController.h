#pragma once
// The preview of a signature's HTML over the signature panel. The page is shown by the
// quillet-preview program (app/ui/preview), started for each preview and ended when it closes:
// the web engine it needs costs about 100 MB and helper processes, which the application does
// not carry while no preview is shown. Where the windowing system lets one window hold another
// (X11), the program's window sits inside this panel; elsewhere it is a window of its own, and
// closing it closes the preview.

#include <QProcess>
#include <QWidget>
#include <optional>

#include "common/SignatureId.h"

class QVBoxLayout;

namespace quillet {

class Workspace;

// The preview program: beside the application, or where QUILLET_PREVIEW_PROGRAM names it.
QString PreviewProgramPath();

class PreviewSignatureController : public QWidget {
    Q_OBJECT
public:
    PreviewSignatureController(Workspace& workspace, QWidget* parent = nullptr);
    ~PreviewSignatureController() override;

    // Shows the signature's text as HTML, in a preview program of its own.
    void engage(SignatureId id, const QString& html);
    std::optional<SignatureId> signatureId() const { return _signatureId; }
    // The running preview program, if any.
    const QProcess* previewProcess() const { return _process; }

signals:
    void closeRequested();
    // The HTML finished loading (ok false: it could not be shown).
    void loaded(bool ok);

private:
    void endProcess();
    void readProcess(QProcess* process);
    void embed(WId window);

    Workspace& _workspace;
    std::optional<SignatureId> _signatureId;
    QString _html;
    QVBoxLayout* _layout;
    QWidget* _pageArea;
    QWidget* _page = nullptr;
    QProcess* _process = nullptr;
    bool _loadReported = false;
    int _generation = 0;
};

}  // namespace quillet
