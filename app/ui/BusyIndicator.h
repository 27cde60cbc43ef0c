#pragma once
// A small spinning arc that says "working": it turns only while shown, and keeps its place in a
// layout when hidden, so the field beside it never changes width.

#include <QBasicTimer>
#include <QWidget>

namespace quillet {

class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget* parent = nullptr);
    bool isSpinning() const { return _timer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QBasicTimer _timer;
    int _angle = 0;
};

}  // namespace quillet
