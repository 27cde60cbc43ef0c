#include "app/ui/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/ui/Fonts.h"

namespace quillet {

namespace {
constexpr int kFieldHeight = 36;
}

QPushButton* ActionButton(const char* name, const QString& title, QWidget* parent,
                          const char* colors) {
    auto* button = new QPushButton(title, parent);
    button->setObjectName(name);
    button->setFont(BodyFont(12, QFont::DemiBold));
    button->setCursor(Qt::PointingHandCursor);
    button->setMinimumHeight(40);
    button->setStyleSheet(QString("QPushButton#%1 { %2 border-radius: 8px; padding: 0 18px; }"
                                  "QPushButton#%1:disabled { color: #8FA3AA; }"
                                  "QPushButton#%1:focus { border: 2px solid #9EB0EB; }")
                              .arg(name, colors));
    return button;
}

void StyleFormFields(QWidget* form) {
    for (QComboBox* box : form->findChildren<QComboBox*>()) {
        box->setFont(BodyFont(12));
        box->setMinimumHeight(kFieldHeight);
    }
    for (QLineEdit* field : form->findChildren<QLineEdit*>()) {
        field->setFont(BodyFont(12));
        field->setMinimumHeight(kFieldHeight);
    }
    for (QCheckBox* box : form->findChildren<QCheckBox*>())
        box->setFont(BodyFont(12));
}

}  // namespace quillet
