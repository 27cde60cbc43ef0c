#pragma once
// The strip over the panels that reports a finished sync: shown at full opacity, faded out after
// a few seconds, then hidden.

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QTimer>

namespace quillet {

class NotificationView : public QLabel {
    Q_OBJECT
public:
    enum class Style { success, error };
    static constexpr int kShowDurationMs = 3000;
    static constexpr int kAnimationDurationMs = 300;
    static inline const char* const kAnimationKey = "alphaAnimation";

    explicit NotificationView(QWidget* parent = nullptr);

    void show(Style style, const QString& text);
    Style style() const { return _style; }
    double opacity() const { return _opacity->opacity(); }

private:
    Style _style = Style::success;
    QGraphicsOpacityEffect* _opacity;
    QTimer _showTimer;
    QPropertyAnimation _fade;
};

}  // namespace quillet
