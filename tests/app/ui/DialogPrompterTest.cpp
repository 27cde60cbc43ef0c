#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/ui/DialogPrompter.h"

namespace quillet {
namespace {

// Escape and the title bar's close choose the button that changes nothing (the last); Return
// the default one. The box belongs to the main window, which comes forward with it.
TEST(DialogPrompterTest, EscapeAndCloseChooseTheLastButtonAndReturnTheDefault) {
    QWidget window;
    DialogPrompter prompter;
    prompter.setWindow([&]() -> QWidget* {
        window.show();
        return &window;
    });
    const Alert alert{AlertStyle::warning, "Close Thunderbird?", "", {"OK", "Later"}, {}, 0};
    using Act = std::function<void(QMessageBox&)>;
    for (const auto& [act, chosen] : std::vector<std::pair<Act, QString>>{
             {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, "Later"},
             {[](QMessageBox& box) { box.close(); }, "Later"},
             {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, "OK"}}) {
        window.hide();
        QWidget* parent = nullptr;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            parent = box->parentWidget();
            act(*box);
        });
        EXPECT_EQ(prompter.ask(alert).button, chosen);
        EXPECT_EQ(parent, &window);
        EXPECT_TRUE(window.isVisible());
    }
}

}  // namespace
}  // namespace quillet
