#include "app/ui/PreviewSignatureController.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "app/ui/Fonts.h"
#include "app/ui/Images.h"
#include "common/Localization.h"
#include "platform/Workspace.h"

namespace quillet {

QString PreviewProgramPath() {
    const QString named = qEnvironmentVariable("QUILLET_PREVIEW_PROGRAM");
    return named.isEmpty() ? QCoreApplication::applicationDirPath() + "/quillet-preview" : named;
}

PreviewSignatureController::PreviewSignatureController(Workspace& workspace, QWidget* parent)
    : QWidget(parent), _workspace(workspace) {
    setObjectName("previewPanel");
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet("QWidget#previewPanel { background: #F7F8FA; }");
    _layout = new QVBoxLayout(this);
    _layout->setContentsMargins(48, 32, 48, 32);
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
    _layout->addLayout(header);
    // Where the program's window goes.
    _pageArea = new QWidget(this);
    _pageArea->setObjectName("previewPageArea");
    auto* pageLayout = new QVBoxLayout(_pageArea);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    _layout->addWidget(_pageArea, 1);
    connect(close, &QPushButton::clicked, this, &PreviewSignatureController::closeRequested);
}

PreviewSignatureController::~PreviewSignatureController() {
    endProcess();
}

void PreviewSignatureController::engage(SignatureId id, const QString& html) {
    // The panel is refilled after every pass: the same page stays as it is.
    if (_process && _process->state() != QProcess::NotRunning && _signatureId == id &&
        _html == html)
        return;
    endProcess();
    _signatureId = id;
    _html = html;
    _loadReported = false;
    auto* process = new QProcess(this);
    _process = process;
    const int generation = ++_generation;
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{"--title", Localized("Your email signature preview")};
    // Only X11 lets this window hold the program's.
    if (QGuiApplication::platformName() == "xcb")
        arguments << "--embed";
    connect(process, &QProcess::readyReadStandardOutput, this,
            [this, process] { readProcess(process); });
    connect(process, &QProcess::finished, this, [this, process] {
        if (process != _process)
            return;
        if (!_loadReported) {
            _loadReported = true;
            emit loaded(false);
        } else {
            // The person closed the preview's own window.
            emit closeRequested();
        }
    });
    // Queued: a program that cannot start may say so within start(), before anyone listens.
    connect(
        process, &QProcess::errorOccurred, this,
        [this, generation](QProcess::ProcessError error) {
            // By number: an ended program's QProcess may be gone, its address reused.
            if (error == QProcess::FailedToStart && generation == _generation && _process &&
                !_loadReported) {
                _loadReported = true;
                emit loaded(false);
            }
        },
        Qt::QueuedConnection);
    process->start(PreviewProgramPath(), arguments);
    process->write(html.toUtf8());
    process->closeWriteChannel();
}

void PreviewSignatureController::readProcess(QProcess* process) {
    while (process == _process && process->canReadLine()) {
        const QByteArray line = process->readLine().trimmed();
        if (line.startsWith("window ")) {
            embed(static_cast<WId>(line.mid(7).toULongLong()));
        } else if (line.startsWith("loaded ") && !_loadReported) {
            _loadReported = true;
            emit loaded(line == "loaded 1");
        } else if (line.startsWith("open ")) {
            // Only what a signature's link may be for: a page, a mail, a call.
            const QUrl url = QUrl::fromEncoded(line.mid(5), QUrl::StrictMode);
            static const QStringList kSchemes{"http", "https", "mailto", "tel"};
            if (url.isValid() && kSchemes.contains(url.scheme().toLower()))
                _workspace.openUrl(url);
        }
    }
}

void PreviewSignatureController::embed(WId window) {
    if (!_process->arguments().contains("--embed"))
        return;
    QWindow* foreign = QWindow::fromWinId(window);
    if (!foreign)
        return;
    delete _page;
    _page = QWidget::createWindowContainer(foreign, _pageArea);
    _page->setObjectName("previewPage");
    _pageArea->layout()->addWidget(_page);
}

void PreviewSignatureController::endProcess() {
    if (!_process)
        return;
    QProcess* process = _process;
    _process = nullptr;
    process->disconnect(this);
    process->terminate();
    if (!process->waitForFinished(3000))
        process->kill();
    process->waitForFinished(-1);
    delete process;
    // Only once the program's window is gone: given back, it would show on its own meanwhile.
    delete _page;
    _page = nullptr;
}

}  // namespace quillet
