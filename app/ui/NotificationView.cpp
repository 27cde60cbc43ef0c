#include "app/ui/NotificationView.h"

#include "app/ui/Fonts.h"

namespace quillet {

NotificationView::NotificationView(QWidget* parent)
    : QLabel(parent), _opacity(new QGraphicsOpacityEffect(this)), _fade(_opacity, "opacity") {
    setObjectName("notificationView");
    setAlignment(Qt::AlignCenter);
    setFont(BodyFont(12, QFont::DemiBold));
    setMinimumHeight(44);
    setGraphicsEffect(_opacity);
    _fade.setObjectName(kAnimationKey);
    _fade.setDuration(kAnimationDurationMs);
    _fade.setStartValue(1.0);
    _fade.setEndValue(0.0);
    _showTimer.setSingleShot(true);
    _showTimer.setInterval(kShowDurationMs);
    connect(&_showTimer, &QTimer::timeout, this, [this] { _fade.start(); });
    connect(&_fade, &QPropertyAnimation::finished, this, [this] { hide(); });
    hide();
}

void NotificationView::show(Style style, const QString& text) {
    _showTimer.stop();
    _fade.stop();
    _style = style;
    _opacity->setOpacity(1.0);
    const bool success = style == Style::success;
    setStyleSheet(QString("QLabel#notificationView { color: %1; background: %2; "
                          "border-radius: 8px; padding: 0 16px; }")
                      .arg(success ? "#2C3E3C" : "#F0D8DF", success ? "#DEF7EC" : "#753D3C"));
    setText(text);
    QLabel::show();
    raise();
    _showTimer.start();
}

}  // namespace quillet
