#include "app/ui/MainWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace quillet {

namespace {
QString FrameKey() {
    return "NSWindow Frame " + MainWindow::kAutosaveName;
}
}  // namespace

MainWindow::MainWindow(QSettings& preferences, QWidget* content)
    : QWidget(nullptr), _preferences(preferences) {
    setObjectName("mainWindow");
    setWindowTitle(QString());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    setMinimumSize(kMinimumContentSize);
    resize(kMinimumContentSize);
    centre();
    applyMinimumSizeRule();
    const QRect saved = _preferences.value(FrameKey()).toRect();
    if (saved.isValid()) {
        // The saved frame may be smaller than today's minimum: take it as it was, then grow it.
        setMinimumSize(0, 0);
        setGeometry(saved);
        setMinimumSize(kMinimumContentSize);
        if (saved.width() < kMinimumContentSize.width() ||
            saved.height() < kMinimumContentSize.height()) {
            resize(kMinimumContentSize);
            centre();
        } else {
            setGeometry(saved);
        }
    }
    _restoring = false;
}

void MainWindow::applyMinimumSizeRule() {
    if (width() < kMinimumContentSize.width() || height() < kMinimumContentSize.height()) {
        resize(kMinimumContentSize);
        centre();
    }
}

void MainWindow::centre() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void MainWindow::showWindow() {
    show();
    raise();
    activateWindow();
}

void MainWindow::hideWindow() {
    saveFrame();
    hide();
}

bool MainWindow::isVisibleAndKey() const {
    return isVisible() && isActiveWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hideWindow();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    saveFrame();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    saveFrame();
}

void MainWindow::saveFrame() {
    if (_restoring)
        return;
    _preferences.setValue(FrameKey(), geometry());
}

}  // namespace quillet
