#pragma once
// The prompter of the application: each alert is a modal message box with the alert's style,
// buttons (the default one chosen by Return) and optional checkbox.

#include "platform/Prompter.h"

namespace quillet {

class DialogPrompter : public Prompter {
public:
    Answer ask(const Alert& alert) override;
};

}  // namespace quillet
