#include "platform/ScriptedPrompter.h"

namespace quillet {

void ScriptedPrompter::answerWith(const QString& button, bool checkboxOn) {
    _script.emplace_back(button, checkboxOn);
}

Answer ScriptedPrompter::ask(const Alert& alert) {
    _shown.push_back(alert);
    const QStringList buttons = alert.buttons.isEmpty() ? QStringList{"OK"} : alert.buttons;
    // Unscripted, the person presses Return: the default button.
    const int byDefault = alert.defaultButtonIndex >= 0 && alert.defaultButtonIndex < buttons.size()
                              ? alert.defaultButtonIndex
                              : 0;
    Answer answer{byDefault, buttons[byDefault], false};
    if (!_script.empty()) {
        const auto [button, checkbox] = _script.front();
        _script.pop_front();
        const int index = buttons.indexOf(button);
        if (index >= 0)
            answer = {static_cast<int>(index), button, checkbox};
    }
    return answer;
}

}  // namespace quillet
