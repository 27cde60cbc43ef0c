#include <gtest/gtest.h>

#include <QTest>

#include "app/ui/AddButtonView.h"
#include "app/ui/ExistingSignatureController.h"
#include "app/ui/IntroController.h"
#include "app/ui/MainController.h"
#include "app/ui/NewSignaturePanel.h"
#include "app/ui/SignatureButtonView.h"
#include "app/ui/SignatureColor.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

using State = MainController::State;

class MainControllerTest : public testing::Test {
protected:
    void click(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        UiHarness::settle();
    }
    NewSignaturePanel* form() { return qobject_cast<NewSignaturePanel*>(ui.main().currentPanel()); }

    UiHarness ui;
};

TEST_F(MainControllerTest, EngagingWithoutSignaturesShowsTheIntroAndPulsesTheAddButton) {
    MainController& main = ui.main();
    EXPECT_EQ(main.state(), State::intro);
    EXPECT_TRUE(qobject_cast<IntroController*>(main.currentPanel()));
    EXPECT_FALSE(main.signatureList()->isVisible());
    EXPECT_TRUE(main.addButton()->isPulsating());
    // The pulse starts a moment later.
    EXPECT_FALSE(main.addButton()->isPulseRunning());
    UiHarness::settle(AddButtonView::kPulseDelayMs + 150);
    EXPECT_TRUE(main.addButton()->isPulseRunning());
}

TEST_F(MainControllerTest, AddingShowsAPendingButtonWithTheNextPaletteColour) {
    struct Case {
        int listed;
        int colorIndex;
    };
    for (const Case& c : {Case{0, 12}, Case{1, 0}, Case{2, 1}}) {
        UiHarness local;
        for (int i = 0; i < c.listed; ++i)
            local.addSignature(TestSignature("Sig" + QString::number(i)));
        MainController& main = local.main();
        QTest::mouseClick(main.addButton(), Qt::LeftButton);
        UiHarness::settle();
        ASSERT_EQ(main.state(), State::newSignature) << c.listed;
        ASSERT_EQ(main.signatureButtons().size(), static_cast<size_t>(c.listed + 1));
        SignatureButtonView* pending = main.signatureButtons().back();
        EXPECT_EQ(pending->symbol(), "S");
        EXPECT_EQ(pending->status(), SignatureButtonView::Status::pending);
        EXPECT_EQ(pending->color().main, SignatureColorAt(c.colorIndex).main) << c.listed;
        EXPECT_TRUE(pending->isSelected());
        EXPECT_TRUE(pending->fullAlphaWhenDisabled());
        EXPECT_FALSE(main.addButton()->isEnabled());
        EXPECT_FALSE(main.addButton()->isPulsating());
        for (int i = 0; i < c.listed; ++i)
            EXPECT_FALSE(main.signatureButtons()[static_cast<size_t>(i)]->isEnabled());
    }
}

TEST_F(MainControllerTest, CancellingTheFormOpenedFromTheIntroReturnsToTheIntro) {
    MainController& main = ui.main();
    click(main.addButton());
    ASSERT_TRUE(form());
    emit form()->cancelled();
    UiHarness::settle();
    EXPECT_EQ(main.state(), State::intro);
    EXPECT_TRUE(qobject_cast<IntroController*>(main.currentPanel()));
    EXPECT_FALSE(main.signatureList()->isVisible());
    EXPECT_TRUE(main.addButton()->isPulsating());
}

}  // namespace
}  // namespace quillet
