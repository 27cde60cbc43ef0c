#pragma once
// The add button: a big button without title that can pulse to invite the first signature. The
// pulse starts a moment after it is asked for and stops at once; a click interrupts it and, while
// pulsing is still wanted, starts it again a moment later.

#include <QTimer>
#include <QVariantAnimation>

#include "app/ui/BigButtonView.h"

namespace quillet {

class AddButtonView : public BigButtonView {
    Q_OBJECT
public:
    static constexpr int kPulseHalfDurationMs = 1200;
    static constexpr int kPulseDelayMs = 350;
    enum class AnimationDirection { forward, backward };

    explicit AddButtonView(QWidget* parent = nullptr);

    void setPulsating(bool pulsating);
    bool isPulsating() const { return _pulsating; }
    // The colour is moving (after the delay).
    bool isPulseRunning() const;
    QColor pulseColor() const { return _pulseColor; }

private:
    void startPulse();
    void stopPulse();
    void runHalf(AnimationDirection direction);

    bool _pulsating = false;
    QColor _pulseColor;
    QTimer _delay;
    QVariantAnimation _animation;
    AnimationDirection _direction = AnimationDirection::forward;
};

}  // namespace quillet
