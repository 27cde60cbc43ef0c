#pragma once
// The panel shown when there is no signature: an invitation to press the add button.

#include <QWidget>

namespace quillet {

class IntroController : public QWidget {
    Q_OBJECT
public:
    explicit IntroController(QWidget* parent = nullptr);

    void engage() { _engaged = true; }
    void disengage() { _engaged = false; }
    bool isEngaged() const { return _engaged; }

private:
    bool _engaged = false;
};

}  // namespace quillet
