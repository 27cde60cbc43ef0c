#include "app/ui/DialogPrompter.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

#include "common/Localization.h"

namespace quillet {

Answer DialogPrompter::ask(const Alert& alert) {
    QMessageBox box;
    box.setIcon(alert.style == AlertStyle::critical  ? QMessageBox::Critical
                : alert.style == AlertStyle::warning ? QMessageBox::Warning
                                                     : QMessageBox::Information);
    box.setText(alert.title);
    box.setInformativeText(alert.informativeText);
    const QStringList titles =
        alert.buttons.isEmpty() ? QStringList{Localized("OK")} : alert.buttons;
    std::vector<QPushButton*> buttons;
    for (const QString& title : titles)
        buttons.push_back(box.addButton(title, QMessageBox::ActionRole));
    const int defaultIndex =
        alert.defaultButtonIndex >= 0 && alert.defaultButtonIndex < titles.size()
            ? alert.defaultButtonIndex
            : 0;
    box.setDefaultButton(buttons[static_cast<size_t>(defaultIndex)]);
    if (alert.checkboxTitle)
        box.setCheckBox(new QCheckBox(*alert.checkboxTitle, &box));
    box.exec();
    Answer answer{defaultIndex, titles[defaultIndex], false};
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i])
            answer = {static_cast<int>(i), titles[static_cast<int>(i)], false};
    }
    answer.checkboxOn = box.checkBox() && box.checkBox()->isChecked();
    return answer;
}

}  // namespace quillet
