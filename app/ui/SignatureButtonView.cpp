#include "app/ui/SignatureButtonView.h"

#include <QPainter>

#include "app/ui/Fonts.h"

namespace quillet {

namespace {
constexpr int kDiameter = 56;
constexpr int kRing = 4;
constexpr int kDot = 14;
}  // namespace

SignatureButtonView::SignatureButtonView(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    // A click selects; the keyboard reaches the buttons by Tab without a rectangle over them.
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
}

QSize SignatureButtonView::sizeHint() const {
    return {kDiameter + 2 * kRing, kDiameter + 2 * kRing};
}

void SignatureButtonView::setSymbol(const QString& symbol) {
    _symbol = symbol;
    setAccessibleName(symbol);
    update();
}

void SignatureButtonView::setColor(const SignatureColor& color) {
    _color = color;
    update();
}

void SignatureButtonView::setStatus(Status status) {
    _status = status;
    update();
}

void SignatureButtonView::setSelected(bool selected) {
    _selected = selected;
    update();
}

void SignatureButtonView::setFullAlphaWhenDisabled(bool fullAlpha) {
    _fullAlphaWhenDisabled = fullAlpha;
    update();
}

void SignatureButtonView::setShowsStatus(bool shows) {
    _showsStatus = shows;
    update();
}

void SignatureButtonView::setRingColor(const QColor& color) {
    _ringColor = color;
    update();
}

void SignatureButtonView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if ((!isEnabled() && !_fullAlphaWhenDisabled) || _status == Status::removing)
        painter.setOpacity(0.4);
    const QRectF outer = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (_selected || (hasFocus() && _showsStatus)) {
        painter.setPen(
            QPen(_ringColor, _selected ? 2 : 1, _selected ? Qt::SolidLine : Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(outer);
    }
    const double ring = width() > kDiameter ? kRing : 3;
    const QRectF circle = QRectF(rect()).adjusted(ring, ring, -ring, -ring);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isDown() ? _color.pressed : _color.main);
    painter.drawEllipse(circle);
    painter.setPen(Qt::white);
    painter.setFont(SymbolFont());
    painter.drawText(circle, Qt::AlignCenter, _symbol);
    if (!_showsStatus)
        return;

    const QColor dot = _status == Status::active     ? QColor(0x3CCB7F)
                       : _status == Status::disabled ? QColor(0xE5484D)
                       : _status == Status::removing ? QColor(0x8FA3AA)
                                                     : QColor(0xF5A524);
    const QRectF dotRect(circle.right() - kDot, circle.bottom() - kDot, kDot, kDot);
    painter.setPen(QPen(QColor(0x1E2B30), 2));
    painter.setBrush(dot);
    painter.drawEllipse(dotRect);
}

}  // namespace quillet
