#include "app/ui/PermissionsAssistantIcon.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include "app/ui/Images.h"

namespace quillet {

namespace {

constexpr int kIconSize = 64;

QPixmap AppIconPixmap() {
    const QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        return ImagePixmap("status-bar-icon", QSize(kIconSize, kIconSize));
    return icon.pixmap(kIconSize, kIconSize);
}

}  // namespace

DraggableAppIconView::DraggableAppIconView(QString appPath, QWidget* parent)
    : QLabel(parent), _appPath(std::move(appPath)) {
    setPixmap(AppIconPixmap());
    setFixedSize(kIconSize, kIconSize);
    setCursor(Qt::OpenHandCursor);
}

QMimeData* DraggableAppIconView::createMimeData() const {
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(_appPath)});
    return data;
}

void DraggableAppIconView::mousePressEvent(QMouseEvent* event) {
    _pressed = event->button() == Qt::LeftButton;
    _pressPosition = event->position().toPoint();
}

void DraggableAppIconView::mouseMoveEvent(QMouseEvent* event) {
    if (!_pressed || (event->position().toPoint() - _pressPosition).manhattanLength() <
                         QApplication::startDragDistance()) {
        return;
    }
    _pressed = false;
    auto* drag = new QDrag(this);
    drag->setMimeData(createMimeData());
    drag->setPixmap(pixmap());
    drag->exec(Qt::CopyAction | Qt::LinkAction);
}

}  // namespace quillet
