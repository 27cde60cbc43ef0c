#pragma once
// Alerts and questions: the engine says what to ask, a prompter decides how it is asked (dialogs
// in the application, a terminal for the command line, a script in tests).

#include <QString>
#include <QStringList>
#include <optional>

namespace quillet {

enum class AlertStyle { informational, warning, critical };

struct Alert {
    AlertStyle style = AlertStyle::informational;
    QString title;
    QString informativeText;
    QStringList buttons;                   // never empty when shown
    std::optional<QString> checkboxTitle;  // an accessory checkbox, unticked at first
    int defaultButtonIndex = 0;            // the button Return chooses; the first unless set
};

struct Answer {
    int buttonIndex = 0;
    QString button;
    bool checkboxOn = false;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    // Shows the alert modally and returns the chosen button. An alert without buttons gets "OK".
    virtual Answer ask(const Alert& alert) = 0;
};

}  // namespace quillet
