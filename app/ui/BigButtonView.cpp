#include "app/ui/BigButtonView.h"

#include <QIcon>
#include <QPainter>
#include <QStyleOptionButton>

#include "app/ui/Fonts.h"
#include "app/ui/Images.h"

namespace quillet {

BigButtonView::BigButtonView(const QString& image, const QString& title, QWidget* parent)
    : QPushButton(parent), _normalBackground(0x2A3A40), _background(_normalBackground) {
    setText(title);
    setIcon(ImageIcon(image));
    setIconSize({20, 20});
    setCursor(Qt::PointingHandCursor);
    setFont(BodyFont(11));
    setMinimumHeight(40);
    setFlat(true);
}

void BigButtonView::setBackgroundColor(const QColor& color) {
    _background = color;
    update();
}

void BigButtonView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor background = isDown() ? _background.darker(120) : _background;
    if (!isEnabled())
        painter.setOpacity(0.45);
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    const QSize iconSize = this->iconSize();
    const QPixmap pixmap = icon().pixmap(iconSize, devicePixelRatioF());
    if (text().isEmpty()) {
        painter.drawPixmap(QRect(QPoint(), iconSize)
                               .translated(rect().center() - QRect(QPoint(), iconSize).center()),
                           pixmap);
        return;
    }
    const QRect iconRect(12, (height() - iconSize.height()) / 2, iconSize.width(),
                         iconSize.height());
    painter.drawPixmap(iconRect, pixmap);
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(rect().adjusted(iconRect.right() + 10, 0, -8, 0),
                     Qt::AlignVCenter | Qt::AlignLeft, text());
}

}  // namespace quillet
