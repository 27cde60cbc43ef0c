#pragma once
// The command line's prompter: prints every alert to standard error (title, informative text,
// then "-> " and the button chosen) and asks on a terminal, or answers as the options say.

#include <QSet>
#include <cstdio>

#include "platform/Prompter.h"

namespace quillet {

class TerminalPrompter : public Prompter {
public:
    enum class Policy {
        ask,          // read the choice from the terminal
        firstButton,  // --yes: the first button; a question asked again gets the last one
        lastButton,   // --later: the last button
    };

    TerminalPrompter(Policy policy, bool tickCheckbox, FILE* input = stdin, FILE* output = stderr);

    Answer ask(const Alert& alert) override;

private:
    Answer choose(const QStringList& buttons, const QString& key);

    Policy _policy;
    bool _tickCheckbox;
    FILE* _input;
    FILE* _output;
    QSet<QString> _askedBefore;
};

}  // namespace quillet
