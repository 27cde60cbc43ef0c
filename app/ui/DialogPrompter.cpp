#include "app/ui/DialogPrompter.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <algorithm>

#include "app/ui/Fonts.h"
#include "common/Localization.h"

namespace quillet {

namespace {
// Wide enough that a two-sentence informative text takes two or three lines, not seven.
constexpr int kMinimumTextWidth = 440;

QStringList ButtonTitles(const Alert& alert) {
    return alert.buttons.isEmpty() ? QStringList{Localized("OK")} : alert.buttons;
}
}  // namespace

std::unique_ptr<QMessageBox> DialogPrompter::MakeBox(const Alert& alert, QWidget* parent,
                                                     std::vector<QPushButton*>* buttons) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setIcon(alert.style == AlertStyle::critical  ? QMessageBox::Critical
                 : alert.style == AlertStyle::warning ? QMessageBox::Warning
                                                      : QMessageBox::Information);
    box->setFont(BodyFont(12));
    box->setText(alert.title);
    box->setInformativeText(alert.informativeText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QStringList titles = ButtonTitles(alert);
    for (const QString& title : titles)
        buttons->push_back(box->addButton(title, QMessageBox::ActionRole));
    const int defaultIndex =
        alert.defaultButtonIndex >= 0 && alert.defaultButtonIndex < titles.size()
            ? alert.defaultButtonIndex
            : 0;
    box->setDefaultButton((*buttons)[static_cast<size_t>(defaultIndex)]);
    // The last button is the one that changes nothing ("Cancel", "Later", "Close"), or the only
    // one ("OK"): Escape and the title bar's close choose it.
    box->setEscapeButton(buttons->back());
    if (alert.checkboxTitle)
        box->setCheckBox(new QCheckBox(*alert.checkboxTitle, box.get()));
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(
            new QSpacerItem(kMinimumTextWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
            grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

Answer DialogPrompter::ask(const Alert& alert) {
    std::vector<QPushButton*> buttons;
    const std::unique_ptr<QMessageBox> box =
        MakeBox(alert, _window ? _window() : nullptr, &buttons);
    box->exec();
    const int defaultIndex = static_cast<int>(
        std::find(buttons.begin(), buttons.end(), box->defaultButton()) - buttons.begin());
    const QStringList titles = ButtonTitles(alert);
    Answer answer{defaultIndex, titles[defaultIndex], false};
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box->clickedButton() == buttons[i])
            answer = {static_cast<int>(i), titles[static_cast<int>(i)], false};
    }
    answer.checkboxOn = box->checkBox() && box->checkBox()->isChecked();
    return answer;
}

}  // namespace quillet
