#include "platform/TerminalPrompter.h"

namespace quillet {

TerminalPrompter::TerminalPrompter(Policy policy, bool tickCheckbox, FILE* input, FILE* output)
    : _policy(policy), _tickCheckbox(tickCheckbox), _input(input), _output(output) {}

Answer TerminalPrompter::ask(const Alert& alert) {
    const QStringList buttons = alert.buttons.isEmpty() ? QStringList{"OK"} : alert.buttons;
    std::fprintf(_output, "%s\n", alert.title.toUtf8().constData());
    if (!alert.informativeText.isEmpty()) {
        std::fprintf(_output, "%s\n", alert.informativeText.toUtf8().constData());
    }
    Answer answer = choose(buttons, alert.title + '\n' + alert.informativeText);
    answer.checkboxOn = alert.checkboxTitle.has_value() && _tickCheckbox;
    std::fprintf(_output, "-> %s\n", answer.button.toUtf8().constData());
    std::fflush(_output);
    return answer;
}

Answer TerminalPrompter::choose(const QStringList& buttons, const QString& key) {
    const auto pick = [&](int index) { return Answer{index, buttons.at(index), false}; };
    if (buttons.size() == 1)
        return pick(0);
    switch (_policy) {
        case Policy::firstButton: {
            // A question that comes back (a second "Retry") would loop for ever on "yes".
            const bool again = _askedBefore.contains(key);
            _askedBefore.insert(key);
            return pick(again ? static_cast<int>(buttons.size()) - 1 : 0);
        }
        case Policy::lastButton:
            return pick(static_cast<int>(buttons.size()) - 1);
        case Policy::ask:
            break;
    }
    for (;;) {
        for (int i = 0; i < buttons.size(); ++i) {
            std::fprintf(_output, "  %d) %s\n", i + 1, buttons.at(i).toUtf8().constData());
        }
        std::fprintf(_output, "Choose 1-%d: ", static_cast<int>(buttons.size()));
        std::fflush(_output);
        char line[64];
        if (!std::fgets(line, sizeof line, _input)) {
            return pick(static_cast<int>(buttons.size()) - 1);  // end of input: the safe choice
        }
        bool ok = false;
        const int choice = QString::fromUtf8(line).trimmed().toInt(&ok);
        if (ok && choice >= 1 && choice <= buttons.size())
            return pick(choice - 1);
    }
}

}  // namespace quillet
