#include "app/ui/BusyIndicator.h"

#include <QPainter>
#include <QTimerEvent>

namespace quillet {

namespace {
constexpr int kSize = 20;
constexpr int kFrameMs = 40;
constexpr int kStepDegrees = 30;
}  // namespace

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
    setFixedSize(kSize, kSize);
    QSizePolicy policy = sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    setSizePolicy(policy);
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5);
    painter.setPen(QPen(QColor(0xE8ECF0), 3));
    painter.drawEllipse(circle);
    painter.setPen(QPen(QColor(0x4D6966), 3, Qt::SolidLine, Qt::RoundCap));
    // Qt counts arcs in sixteenths of a degree, anticlockwise from three o'clock.
    painter.drawArc(circle, -_angle * 16, 100 * 16);
}

void BusyIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != _timer.timerId())
        return QWidget::timerEvent(event);
    _angle = (_angle + kStepDegrees) % 360;
    update();
}

void BusyIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    _timer.start(kFrameMs, this);
}

void BusyIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    _timer.stop();
}

}  // namespace quillet
