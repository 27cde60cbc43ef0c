#pragma once
// A stand-in for the new-signature form until the form itself is wired in: it shows where the
// form goes and offers "Cancel".

#include "app/ui/NewSignaturePanel.h"

class QLabel;

namespace quillet {

class PlaceholderNewSignaturePanel : public NewSignaturePanel {
    Q_OBJECT
public:
    explicit PlaceholderNewSignaturePanel(QWidget* parent = nullptr);

    void engage(int colorIndex) override;
    void disengage() override;
    bool isEngaged() const override { return _engaged; }

private:
    bool _engaged = false;
    QLabel* _legend;
};

// The factory the application uses for its new-signature form.
NewSignaturePanelFactory DefaultNewSignaturePanelFactory();

}  // namespace quillet
