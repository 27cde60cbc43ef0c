#pragma once
// The new-signature form as the main window sees it: engaged with the palette position of the
// signature being added, disengaged when the window shows another panel. It reports the end of
// its engagement by one of its two signals; the main window then shows the next panel.

#include <QWidget>
#include <functional>

#include "common/SignatureId.h"

namespace quillet {

class Core;

class NewSignaturePanel : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Starts a new engagement: an empty form whose signature gets this palette position.
    virtual void engage(int colorIndex) = 0;
    // Ends the engagement; whatever the form was waiting for is dropped when it arrives.
    virtual void disengage() = 0;
    virtual bool isEngaged() const = 0;

signals:
    // The person gave up; nothing was stored.
    void cancelled();
    // The signature was added to the engine (stored, its sync started).
    void created(quillet::SignatureId id);
};

// Makes the form over the engine, as a child of parent; the main window calls it once.
using NewSignaturePanelFactory = std::function<NewSignaturePanel*(Core& core, QWidget* parent)>;

}  // namespace quillet
