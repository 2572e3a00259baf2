// Buttons: what a click does for each type, where the action goes, radio groups, keys and accessibility.
#include "controls_fixture.h"

#include "platform/winkit/button.h"

class ButtonTest : public ControlsTest {
protected:
    std::shared_ptr<HXButton> button(HXButtonType type, const char* title = "Go")
    {
        double y = 10 + 32 * double(window->contentView()->subviews().size() % 8);
        auto b = add(std::make_shared<HXButton>(HXMakeRect(20, y, 120, 28), title));
        b->setButtonType(type);
        return b;
    }
};

TEST_F(ButtonTest, ClicksMoveTheStateAsTheTypeSays)
{
    struct Case {
        HXButtonType type;
        int afterOne;
        int afterTwo;
    };
    const Case cases[] = {
        { HXMomentaryPushInButton, HXOffState, HXOffState },
        { HXMomentaryLightButton, HXOffState, HXOffState },
        { HXMomentaryChangeButton, HXOffState, HXOffState },
        { HXPushOnPushOffButton, HXOnState, HXOffState },
        { HXToggleButton, HXOnState, HXOffState },
        { HXSwitchButton, HXOnState, HXOffState },
        { HXOnOffButton, HXOnState, HXOffState },
        { HXRadioButton, HXOnState, HXOnState },  // a radio button is not turned off by clicking it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.type));
        auto b = button(c.type);
        target->log.clear();
        click(*b);
        EXPECT_EQ(b->state(), c.afterOne);
        click(*b);
        EXPECT_EQ(b->state(), c.afterTwo);
        EXPECT_EQ(target->count(), 2u);
        EXPECT_EQ(target->lastSender, b.get());
        EXPECT_FALSE(b->isHighlighted());
        b->removeFromSuperview();
    }
}

TEST_F(ButtonTest, MixedStateCyclesOffMixedOnOnlyWhenAllowed)
{
    auto b = button(HXSwitchButton);
    b->setState(HXMixedState);
    EXPECT_EQ(b->state(), HXOnState) << "mixed is refused unless allowed";
    b->setState(HXOffState);
    b->setAllowsMixedState(true);
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        click(*b);
        seen.push_back(b->state());
    }
    EXPECT_EQ(seen, (std::vector<int> { HXMixedState, HXOnState, HXOffState, HXMixedState }));
    b->setState(7);
    EXPECT_EQ(b->state(), HXOnState);
}

TEST_F(ButtonTest, ReleasingOutsideSendsNothingAndKeepsTheState)
{
    auto b = button(HXSwitchButton);
    HXPoint inside = basePoint(*b);
    drag(inside, { { inside.x + 300, inside.y }, { inside.x + 300, inside.y + 80 } });
    EXPECT_EQ(target->count(), 0u);
    EXPECT_EQ(b->state(), HXOffState);
    EXPECT_FALSE(b->isHighlighted());
    // Leaving and coming back before letting go still counts.
    drag(inside, { { inside.x + 300, inside.y }, inside });
    EXPECT_EQ(target->count(), 1u);
}

TEST_F(ButtonTest, SendActionOnChoosesPressOrRelease)
{
    struct Case {
        HXEventMask mask;
        size_t actionsPerClick;
    };
    for (const auto& c : { Case { HXLeftMouseUpMask, 1 }, Case { HXLeftMouseDownMask, 1 },
             Case { HXLeftMouseDownMask | HXLeftMouseUpMask, 2 }, Case { 0, 0 } }) {
        auto b = button(HXMomentaryPushInButton);
        EXPECT_EQ(b->sendActionOn(c.mask), HXLeftMouseUpMask);
        target->log.clear();
        click(*b);
        EXPECT_EQ(target->count(), c.actionsPerClick) << c.mask;
        b->removeFromSuperview();
    }
}

TEST_F(ButtonTest, DisabledButtonsIgnoreClicksKeysAndPress)
{
    auto b = button(HXSwitchButton);
    b->setKeyEquivalent("k");
    b->setEnabled(false);
    click(*b);
    key("k");
    b->performClick();
    EXPECT_FALSE(HXAccessibility::performAction(*b, HXAccessibilityPressAction) && b->state() != HXOffState);
    EXPECT_EQ(target->count(), 0u);
    EXPECT_EQ(b->state(), HXOffState);
    EXPECT_FALSE(b->acceptsFirstResponder());
}

TEST_F(ButtonTest, RadioButtonsWithTheSameActionFormAGroup)
{
    auto a = button(HXRadioButton, "A");
    auto b = button(HXRadioButton, "B");
    auto c = button(HXRadioButton, "C");
    c->setAction("other:");  // another group
    c->setState(HXOnState);
    a->setState(HXOnState);
    click(*b);
    EXPECT_EQ(a->state(), HXOffState);
    EXPECT_EQ(b->state(), HXOnState);
    EXPECT_EQ(c->state(), HXOnState);
}

TEST_F(ButtonTest, KeyboardWorksTheFocusedButtonAndTheDefaultButton)
{
    auto focused = button(HXPushOnPushOffButton, "Focused");
    auto defaultButton = add(std::make_shared<HXButton>(HXMakeRect(200, 20, 100, 28), "OK"), "ok:");
    auto okTarget = std::make_shared<ActionTarget>(std::vector<std::string> { "ok:" });
    defaultButton->setTarget(okTarget);
    defaultButton->setKeyEquivalent("\r");
    ASSERT_TRUE(window->makeFirstResponder(focused));
    key(" ");
    EXPECT_EQ(target->count(), 1u);
    EXPECT_EQ(focused->state(), HXOnState);
    key("\r");  // Return belongs to the default button
    EXPECT_EQ(okTarget->count("ok:"), 1u);
    EXPECT_EQ(target->count(), 1u);
    key("\x03");  // Enter too
    EXPECT_EQ(okTarget->count("ok:"), 2u);
    key("x");
    EXPECT_EQ(target->count(), 1u);
}

TEST_F(ButtonTest, MomentaryChangeAndToggleShowTheirAlternateTitle)
{
    auto change = button(HXMomentaryChangeButton, "Play");
    change->setAlternateTitle("Pause");
    EXPECT_EQ(change->buttonCell()->shownTitle(), "Play");
    change->highlight(true);
    EXPECT_EQ(change->buttonCell()->shownTitle(), "Pause");
    change->highlight(false);
    auto toggle = button(HXToggleButton, "Show");
    toggle->setAlternateTitle("Hide");
    click(*toggle);
    EXPECT_EQ(toggle->buttonCell()->shownTitle(), "Hide");
    EXPECT_EQ(HXAccessibility::attributeValue(*toggle, HXAccessibilityTitleAttribute).stringValue(), "Hide");
}

TEST_F(ButtonTest, AccessibilityRolesValuesAndPress)
{
    struct Case {
        HXButtonType type;
        const char* role;
        bool hasValue;
    };
    for (const auto& c : { Case { HXMomentaryPushInButton, HXAccessibilityButtonRole, false },
             Case { HXSwitchButton, HXAccessibilityCheckBoxRole, true }, Case { HXRadioButton, HXAccessibilityRadioButtonRole, true },
             Case { HXToggleButton, HXAccessibilityButtonRole, true } }) {
        SCOPED_TRACE(c.role);
        auto b = button(c.type, "Loop");
        target->log.clear();
        EXPECT_EQ(HXAccessibility::attributeValue(*b, HXAccessibilityRoleAttribute).stringValue(), c.role);
        EXPECT_EQ(HXAccessibility::attributeValue(*b, HXAccessibilityTitleAttribute).stringValue(), "Loop");
        EXPECT_EQ(HXAccessibility::attributeValue(*b, HXAccessibilityParentAttribute).element(), window);
        auto value = HXAccessibility::attributeValue(*b, HXAccessibilityValueAttribute);
        EXPECT_EQ(!value.isNull(), c.hasValue);
        EXPECT_TRUE(HXAccessibility::performAction(*b, HXAccessibilityPressAction));
        EXPECT_EQ(target->count(), 1u);
        if (c.hasValue) {
            EXPECT_EQ(HXAccessibility::attributeValue(*b, HXAccessibilityValueAttribute).doubleValue(), 1);
        }
        EXPECT_FALSE(HXAccessibility::performAction(*b, HXAccessibilityIncrementAction));
        b->removeFromSuperview();
    }
}
