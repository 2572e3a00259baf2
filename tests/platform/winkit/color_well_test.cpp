// The colour well and the shared colour panel: activation, picking, the action, accessibility.
#include "controls_fixture.h"

#include "platform/winkit/color_panel.h"
#include "platform/winkit/color_well.h"
#include "platform/winkit/slider.h"

class ColorWellTest : public ControlsTest {
protected:
    std::shared_ptr<HXColorWell> well(double x, const HXColor& color)
    {
        auto w = add(std::make_shared<HXColorWell>(HXMakeRect(x, 20, 44, 24)), "colorChanged:");
        w->setColor(color);
        return w;
    }
    void SetUp() override
    {
        ControlsTest::SetUp();
        target = std::make_shared<ActionTarget>(std::vector<std::string> { "colorChanged:" });
    }
};

TEST_F(ColorWellTest, AClickActivatesTheWellAndOpensThePanelOnItsColour)
{
    auto red = HXColor::colorWithCalibratedRed(1, 0, 0);
    auto w = well(20, red);
    EXPECT_FALSE(w->isActive());
    click(*w);
    EXPECT_TRUE(w->isActive());
    EXPECT_EQ(HXColorWell::activeWell(), w);
    auto panel = HXColorPanel::sharedColorPanel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->color(), red);
    EXPECT_DOUBLE_EQ(panel->componentSlider(0)->doubleValue(), 1.0);
    EXPECT_DOUBLE_EQ(panel->componentSlider(1)->doubleValue(), 0.0);
    // Setting the colour in code is no user action.
    EXPECT_EQ(target->count("colorChanged:"), 0u);
    // A second click deactivates.
    click(*w);
    EXPECT_FALSE(w->isActive());
    EXPECT_EQ(HXColorWell::activeWell(), nullptr);
}

TEST_F(ColorWellTest, PickedColoursReachOnlyTheActiveWellAndSendItsAction)
{
    auto a = well(20, HXColor::whiteColor());
    auto b = well(80, HXColor::blackColor());
    a->activate();
    b->activate();  // exclusive: a stops being active
    EXPECT_FALSE(a->isActive());
    EXPECT_TRUE(b->isActive());

    auto panel = HXColorPanel::sharedColorPanel();
    auto blue = HXColor::colorWithCalibratedRed(0, 0, 1);
    panel->pickColor(blue);
    EXPECT_EQ(b->color(), blue);
    EXPECT_EQ(a->color(), HXColor::whiteColor());
    EXPECT_EQ(target->count("colorChanged:"), 1u);
    EXPECT_EQ(target->lastSender, b.get());

    // Moving a slider picks a colour too (the panel's sliders are continuous).
    panel->componentSlider(0)->setDoubleValue(0.5);
    panel->componentSlider(0)->sendAction();
    EXPECT_NEAR(b->color().redComponent(), 0.5, 1e-9);
    EXPECT_NEAR(b->color().blueComponent(), 1.0, 1e-9);
    EXPECT_EQ(target->count("colorChanged:"), 2u);

    // Closing the panel deactivates the well; later picks go nowhere.
    panel->close();
    EXPECT_FALSE(b->isActive());
    panel->pickColor(HXColor::colorWithCalibratedRed(0, 1, 0));
    EXPECT_NEAR(b->color().redComponent(), 0.5, 1e-9);
    EXPECT_EQ(target->count("colorChanged:"), 2u);
}

TEST_F(ColorWellTest, ADisabledWellNeitherActivatesNorTakesColours)
{
    auto w = well(20, HXColor::whiteColor());
    w->activate();
    w->setEnabled(false);
    EXPECT_FALSE(w->isActive());
    click(*w);
    EXPECT_FALSE(w->isActive());
    HXColorPanel::sharedColorPanel()->pickColor(HXColor::blackColor());
    EXPECT_EQ(w->color(), HXColor::whiteColor());
    EXPECT_TRUE(w->accessibilityActionNames().empty());
}

TEST_F(ColorWellTest, TakeColorFromCopiesAnotherWellAndIgnoresOtherSenders)
{
    auto a = well(20, HXColor::colorWithCalibratedRed(0.2, 0.4, 0.6));
    auto b = well(80, HXColor::whiteColor());
    b->takeColorFrom(a.get());
    EXPECT_EQ(b->color(), a->color());
    EXPECT_EQ(target->count("colorChanged:"), 1u);
    HXObject stranger;
    b->takeColorFrom(&stranger);
    EXPECT_EQ(target->count("colorChanged:"), 1u);
}

TEST_F(ColorWellTest, AccessibilityReadsTheColourAndPressOpensThePanel)
{
    struct Case {
        HXColor color;
        const char* text;
    } cases[] = {
        { HXColor::colorWithCalibratedRed(1, 0.5, 0), "red 100%, green 50%, blue 0%" },
        { HXColor::colorWithCalibratedWhite(1), "red 100%, green 100%, blue 100%" },
        { HXColor::colorWithCalibratedRed(0, 0, 0, 0.25), "red 0%, green 0%, blue 0%, opacity 25%" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HXColorWell::colorDescription(c.color), c.text);

    auto w = well(20, cases[0].color);
    EXPECT_EQ(w->accessibilityAttributeValue(HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityColorWellRole);
    EXPECT_EQ(w->accessibilityAttributeValue(HXAccessibilityValueAttribute).stringValue(), cases[0].text);
    ASSERT_EQ(w->accessibilityActionNames(), std::vector<std::string> { HXAccessibilityPressAction });
    EXPECT_FALSE(w->accessibilityActionDescription(HXAccessibilityPressAction).empty());
    w->accessibilityPerformAction(HXAccessibilityPressAction);
    EXPECT_TRUE(w->isActive());
}

TEST_F(ColorWellTest, APanelWithoutOpacityKeepsColoursOpaque)
{
    auto w = well(20, HXColor::whiteColor());
    w->activate();
    auto panel = HXColorPanel::sharedColorPanel();
    panel->setShowsAlpha(false);
    panel->pickColor(HXColor::colorWithCalibratedRed(1, 0, 0, 0.3));
    EXPECT_DOUBLE_EQ(w->color().alphaComponent(), 1.0);
    EXPECT_FALSE(panel->componentSlider(3)->isEnabled());
}
