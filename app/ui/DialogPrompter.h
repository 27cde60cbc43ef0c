#pragma once
// The prompter of the application: each alert is a modal message box with the alert's style,
// buttons (the default one chosen by Return, the last one by Escape and the title bar's close)
// and optional checkbox, wide enough that its texts read as paragraphs. An alert belongs to the
// main window: the window comes forward with it (a pass at login asking to close clients
// must not stand alone on the desktop).

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Prompter.h"

namespace quillet {

class DialogPrompter : public Prompter {
public:
    // Shows the window the alerts belong to and returns it (null: none yet).
    void setWindow(std::function<QWidget*()> window) { _window = std::move(window); }
    Answer ask(const Alert& alert) override;

    // The message box of an alert, not yet shown; buttons in the alert's order.
    static std::unique_ptr<QMessageBox> MakeBox(const Alert& alert, QWidget* parent,
                                                std::vector<QPushButton*>* buttons);

private:
    std::function<QWidget*()> _window;
};

}  // namespace quillet
