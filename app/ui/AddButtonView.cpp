#include "app/ui/AddButtonView.h"

namespace quillet {

AddButtonView::AddButtonView(QWidget* parent)
    : BigButtonView("add-plus", QString(), parent), _pulseColor(0x748CD7) {
    setObjectName("addButton");
    setAccessibleName("Add signature");
    setIconSize({24, 24});
    setFixedSize(64, 48);
    _delay.setSingleShot(true);
    _delay.setInterval(kPulseDelayMs);
    connect(&_delay, &QTimer::timeout, this, [this] { startPulse(); });
    _animation.setDuration(kPulseHalfDurationMs);
    _animation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setBackgroundColor(value.value<QColor>()); });
    connect(&_animation, &QVariantAnimation::finished, this, [this] {
        runHalf(_direction == AnimationDirection::forward ? AnimationDirection::backward
                                                          : AnimationDirection::forward);
    });
    connect(this, &QPushButton::pressed, this, [this] {
        stopPulse();
        if (_pulsating)
            _delay.start();
    });
}

void AddButtonView::setPulsating(bool pulsating) {
    _pulsating = pulsating;
    stopPulse();
    if (pulsating)
        _delay.start();
}

bool AddButtonView::isPulseRunning() const {
    return _animation.state() == QAbstractAnimation::Running;
}

void AddButtonView::startPulse() {
    runHalf(AnimationDirection::forward);
}

void AddButtonView::stopPulse() {
    _delay.stop();
    _animation.blockSignals(true);
    _animation.stop();
    _animation.blockSignals(false);
    setBackgroundColor(_normalBackground);
}

void AddButtonView::runHalf(AnimationDirection direction) {
    _direction = direction;
    const bool forward = direction == AnimationDirection::forward;
    _animation.setStartValue(forward ? _normalBackground : _pulseColor);
    _animation.setEndValue(forward ? _pulseColor : _normalBackground);
    _animation.start();
}

}  // namespace quillet
