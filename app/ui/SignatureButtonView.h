#pragma once
// One signature in the toolbar: a coloured circle with the signature's symbol and a status dot.

#include <QAbstractButton>

#include "app/ui/SignatureColor.h"

namespace quillet {

class SignatureButtonView : public QAbstractButton {
    Q_OBJECT
public:
    // removing: uninstalled, still in a client until a pass takes it out.
    enum class Status { pending, active, disabled, removing };

    explicit SignatureButtonView(QWidget* parent = nullptr);

    void setSymbol(const QString& symbol);
    const QString& symbol() const { return _symbol; }
    void setColor(const SignatureColor& color);
    const SignatureColor& color() const { return _color; }
    void setStatus(Status status);
    Status status() const { return _status; }
    void setSelected(bool selected);
    bool isSelected() const { return _selected; }
    // Keeps full opacity while disabled (the pending signature's button).
    void setFullAlphaWhenDisabled(bool fullAlpha);
    // The colour choices of the editor show no status dot, and their selection ring is dark (the
    // panel behind them is light).
    void setShowsStatus(bool shows);
    void setRingColor(const QColor& color);
    bool fullAlphaWhenDisabled() const { return _fullAlphaWhenDisabled; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString _symbol;
    SignatureColor _color;
    Status _status = Status::pending;
    bool _selected = false;
    bool _fullAlphaWhenDisabled = false;
    bool _showsStatus = true;
    QColor _ringColor = Qt::white;
};

}  // namespace quillet
