#pragma once
// One signature in the toolbar: a coloured circle with the signature's symbol and a status dot.

#include <QAbstractButton>

#include "app/ui/SignatureColor.h"

namespace quillet {

class SignatureButtonView : public QAbstractButton {
    Q_OBJECT
public:
    enum class Status { pending, active, disabled };

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
    // The colour choices of the editor show no status dot.
    void setShowsStatus(bool shows);
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
};

}  // namespace quillet
