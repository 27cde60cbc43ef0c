#pragma once
// A toolbar button: an image above an optional title, flat on the toolbar's colour.

#include <QColor>
#include <QPushButton>

namespace quillet {

class BigButtonView : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
public:
    // image: the name of an image of the application's resources ("update-button").
    BigButtonView(const QString& image, const QString& title, QWidget* parent = nullptr);

    QColor backgroundColor() const { return _background; }
    void setBackgroundColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

    QColor _normalBackground;

private:
    QColor _background;
};

}  // namespace quillet
