#pragma once
// The controls every panel shares, in the window's own look (its font, colours and sizes rather
// than the desktop style's): the action buttons and the form fields.

#include <QString>

class QPushButton;
class QWidget;

namespace quillet {

// Colours of an action button, as a style sheet fragment.
inline constexpr const char* kPrimaryButtonColors = "background: #1E2B30; color: white;";
inline constexpr const char* kSecondaryButtonColors = "background: #E8ECF0; color: #1E2B30;";
inline constexpr const char* kDangerButtonColors = "background: #FBE3E3; color: #8A2C2C;";

// A rounded button of the panels, 40 points high, named for tests and style sheets.
QPushButton* ActionButton(const char* name, const QString& title, QWidget* parent,
                          const char* colors);
// Gives a form's drop-downs, text fields and check boxes the window's font and height.
void StyleFormFields(QWidget* form);

}  // namespace quillet
