#pragma once
// A prompter for tests: answers from a script of button titles and records every alert shown,
// so a test asserts the exact texts.

#include <deque>
#include <vector>

#include "platform/Prompter.h"

namespace quillet {

class ScriptedPrompter : public Prompter {
public:
    // The next alerts get these buttons, in order; when the script runs out, the default button.
    void answerWith(const QString& button, bool checkboxOn = false);

    Answer ask(const Alert& alert) override;

    const std::vector<Alert>& shown() const { return _shown; }
    void clear() { _shown.clear(); }

private:
    std::deque<std::pair<QString, bool>> _script;
    std::vector<Alert> _shown;
};

}  // namespace quillet
