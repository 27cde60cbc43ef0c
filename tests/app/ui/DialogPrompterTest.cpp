#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/ui/DialogPrompter.h"

namespace quillet {
namespace {

// Asks the alert and, once its box is up, does what the person does to it.
Answer AskAndThen(DialogPrompter& prompter, const Alert& alert,
                  const std::function<void(QMessageBox&)>& act) {
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        act(*box);
    });
    return prompter.ask(alert);
}

const Alert kCloseClients{AlertStyle::warning, "Close Thunderbird?", "", {"OK", "Later"}, {}, 0};

// Escape and the title bar's close choose the button that changes nothing (the last); Return
// the default one. The box belongs to the main window, which comes forward with it.
TEST(DialogPrompterTest, EscapeAndCloseChooseTheLastButtonAndReturnTheDefault) {
    QWidget window;
    DialogPrompter prompter;
    prompter.setWindow([&]() -> QWidget* {
        window.show();
        return &window;
    });
    QWidget* parent = nullptr;
    EXPECT_EQ(AskAndThen(prompter, kCloseClients,
                         [&](QMessageBox& box) {
                             parent = box.parentWidget();
                             QTest::keyClick(&box, Qt::Key_Escape);
                         })
                  .button,
              "Later");
    EXPECT_EQ(parent, &window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(AskAndThen(prompter, kCloseClients, [](QMessageBox& box) { box.close(); }).button,
              "Later");
    EXPECT_EQ(AskAndThen(prompter, kCloseClients,
                         [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); })
                  .button,
              "OK");
}

}  // namespace
}  // namespace quillet
