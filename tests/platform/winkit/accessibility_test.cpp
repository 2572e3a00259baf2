// The accessibility model: the tree a window shows (plain views pass their children up), geometry in
// screen coordinates, hit testing, focus, overrides, and the roles of every control.
#include "controls_fixture.h"

#include "platform/drawing/image.h"
#include "platform/winkit/box.h"
#include "platform/winkit/button.h"
#include "platform/winkit/image_view.h"
#include "platform/winkit/key_view_loop.h"
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/slider.h"
#include "platform/winkit/text_field.h"

#include <cmath>

class AccessibilityTest : public ControlsTest {};

TEST_F(AccessibilityTest, TheWindowsTreeSkipsPlainViews)
{
    auto group = std::make_shared<HXView>(HXMakeRect(10, 10, 300, 200));
    window->contentView()->addSubview(group);
    auto box = std::make_shared<HXBox>(HXMakeRect(0, 0, 280, 180));
    box->setTitle("Playback");
    group->addSubview(box);
    auto loop = std::make_shared<HXButton>(HXMakeRect(10, 10, 100, 24), "Loop");
    loop->setButtonType(HXSwitchButton);
    auto plain = std::make_shared<HXView>(HXMakeRect(0, 40, 200, 60));
    auto volume = std::make_shared<HXSlider>(HXMakeRect(10, 10, 150, 20));
    plain->addSubview(volume);
    box->contentView()->addSubview(loop);
    box->contentView()->addSubview(plain);
    auto separator = std::make_shared<HXBox>(HXMakeRect(0, 190, 300, 5));
    separator->setBoxType(HXBoxSeparator);
    group->addSubview(separator);

    using Elements = HXAccessibilityValue::Elements;
    EXPECT_EQ(HXAccessibility::attributeValue(*window, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityWindowRole);
    EXPECT_EQ(HXAccessibility::attributeValue(*window, HXAccessibilityChildrenAttribute).elements(), (Elements { box }));
    EXPECT_EQ(HXAccessibility::attributeValue(*box, HXAccessibilityTitleAttribute).stringValue(), "Playback");
    EXPECT_EQ(HXAccessibility::attributeValue(*box, HXAccessibilityChildrenAttribute).elements(), (Elements { loop, volume }));
    EXPECT_EQ(HXAccessibility::attributeValue(*volume, HXAccessibilityParentAttribute).element(), box);
    EXPECT_EQ(HXAccessibility::attributeValue(*box, HXAccessibilityParentAttribute).element(), window);
    EXPECT_EQ(HXAccessibility::attributeValue(*volume, HXAccessibilityWindowAttribute).element(), window);
    EXPECT_TRUE(HXAccessibility::isIgnored(*plain));
    EXPECT_TRUE(HXAccessibility::isIgnored(*separator));
    EXPECT_FALSE(HXAccessibility::isIgnored(*loop));
    // Hidden views leave the tree.
    loop->setHidden(true);
    EXPECT_EQ(HXAccessibility::attributeValue(*box, HXAccessibilityChildrenAttribute).elements(), (Elements { volume }));
}

TEST_F(AccessibilityTest, PositionSizeAndHitTestingUseScreenCoordinates)
{
    auto button = add(std::make_shared<HXButton>(HXMakeRect(30, 40, 100, 24), "OK"));
    HXRect screenRect = button->convertRectToScreen(button->bounds());
    EXPECT_EQ(HXAccessibility::attributeValue(*button, HXAccessibilityPositionAttribute).pointValue(), screenRect.origin);
    EXPECT_EQ(HXAccessibility::attributeValue(*button, HXAccessibilitySizeAttribute).sizeValue(), (HXSize { 100, 24 }));
    EXPECT_EQ(HXAccessibility::hitTest(*window, { HXMidX(screenRect), HXMidY(screenRect) }), button);
    EXPECT_EQ(HXAccessibility::hitTest(*window, { screenRect.origin.x - 20, screenRect.origin.y - 20 }), window);
    EXPECT_EQ(HXAccessibility::attributeValue(*window, HXAccessibilityPositionAttribute).pointValue(), window->frame().origin);
}

TEST_F(AccessibilityTest, FocusFollowsTheFirstResponderAndIsAnnounced)
{
    auto a = add(std::make_shared<HXButton>(HXMakeRect(10, 10, 80, 24), "A"));
    auto b = add(std::make_shared<HXSlider>(HXMakeRect(10, 50, 150, 20)));
    auto focus = record({ HXAccessibilityFocusedUIElementChangedNotification }, nullptr);
    EXPECT_TRUE(HXAccessibility::isAttributeSettable(*b, HXAccessibilityFocusedAttribute));
    EXPECT_TRUE(HXAccessibility::setValue(*b, true, HXAccessibilityFocusedAttribute));
    EXPECT_EQ(window->firstResponder(), b);
    EXPECT_TRUE(HXAccessibility::attributeValue(*b, HXAccessibilityFocusedAttribute).boolValue());
    EXPECT_FALSE(HXAccessibility::attributeValue(*a, HXAccessibilityFocusedAttribute).boolValue());
    EXPECT_EQ(HXAccessibility::focusedUIElement(*window), b);
    EXPECT_EQ(focus->size(), 1u);
    a->setEnabled(false);
    EXPECT_FALSE(HXAccessibility::isAttributeSettable(*a, HXAccessibilityFocusedAttribute));
}

TEST_F(AccessibilityTest, OverridesWinOnTheControlAndOnItsCell)
{
    auto mute = add(std::make_shared<HXButton>(HXMakeRect(10, 10, 24, 24), ""));
    EXPECT_EQ(HXAccessibility::attributeValue(*mute, HXAccessibilityRoleDescriptionAttribute).stringValue(), "button");
    // Set on the cell (as code that only has the cell does), read through the control.
    EXPECT_TRUE(HXAccessibility::setOverrideValue(*mute->cell(), "Mute", HXAccessibilityTitleAttribute));
    EXPECT_TRUE(HXAccessibility::setOverrideValue(*mute->cell(), "toggle", HXAccessibilityRoleDescriptionAttribute));
    EXPECT_EQ(HXAccessibility::attributeValue(*mute, HXAccessibilityTitleAttribute).stringValue(), "Mute");
    EXPECT_EQ(HXAccessibility::attributeValue(*mute, HXAccessibilityRoleDescriptionAttribute).stringValue(), "toggle");
    // The control's own override comes first; a null value removes it.
    EXPECT_TRUE(HXAccessibility::setOverrideValue(*mute, "Sound off", HXAccessibilityTitleAttribute));
    EXPECT_EQ(HXAccessibility::attributeValue(*mute, HXAccessibilityTitleAttribute).stringValue(), "Sound off");
    EXPECT_TRUE(HXAccessibility::setOverrideValue(*mute, HXAccessibilityValue(), HXAccessibilityTitleAttribute));
    EXPECT_EQ(HXAccessibility::attributeValue(*mute, HXAccessibilityTitleAttribute).stringValue(), "Mute");
    // An override may name a role the element does not have (a grow box drawn as an image).
    auto grow = add(std::make_shared<HXImageView>(HXMakeRect(380, 0, 16, 16)), nullptr);
    HXAccessibility::setOverrideValue(*grow->cell(), HXAccessibilityGrowAreaRole, HXAccessibilityRoleAttribute);
    EXPECT_EQ(HXAccessibility::attributeValue(*grow, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityGrowAreaRole);
    // Plain views keep no overrides.
    auto plain = std::make_shared<HXView>();
    EXPECT_FALSE(HXAccessibility::setOverrideValue(*plain, "x", HXAccessibilityTitleAttribute));
}

TEST_F(AccessibilityTest, RolesOfEveryControl)
{
    auto progress = std::make_shared<HXProgressIndicator>(HXMakeRect(10, 10, 200, 12));
    progress->setIndeterminate(false);
    progress->setDoubleValue(40);
    auto spinner = std::make_shared<HXProgressIndicator>(HXMakeRect(220, 10, 16, 16));
    spinner->setStyle(HXProgressIndicatorSpinningStyle);
    auto image = std::make_shared<HXImageView>(HXMakeRect(10, 30, 32, 32));
    auto field = std::make_shared<HXTextField>(HXMakeRect(10, 70, 100, 22));
    auto popUp = std::make_shared<HXPopUpButton>(HXMakeRect(10, 100, 100, 24));
    auto slider = std::make_shared<HXSlider>(HXMakeRect(10, 130, 100, 20));
    auto box = std::make_shared<HXBox>(HXMakeRect(200, 100, 100, 100));
    struct Case {
        std::shared_ptr<HXView> view;
        const char* role;
    };
    for (const auto& c : { Case { progress, HXAccessibilityProgressIndicatorRole }, Case { spinner, HXAccessibilityBusyIndicatorRole },
             Case { image, HXAccessibilityImageRole }, Case { field, HXAccessibilityTextFieldRole },
             Case { popUp, HXAccessibilityPopUpButtonRole }, Case { slider, HXAccessibilitySliderRole },
             Case { box, HXAccessibilityGroupRole } }) {
        window->contentView()->addSubview(c.view);
        EXPECT_EQ(HXAccessibility::attributeValue(*c.view, HXAccessibilityRoleAttribute).stringValue(), c.role);
        EXPECT_FALSE(HXAccessibility::isIgnored(*c.view)) << c.role;
        auto names = HXAccessibility::attributeNames(*c.view);
        for (const char* common : { HXAccessibilityRoleAttribute, HXAccessibilityParentAttribute, HXAccessibilityPositionAttribute,
                 HXAccessibilitySizeAttribute, HXAccessibilityEnabledAttribute, HXAccessibilityFocusedAttribute })
            EXPECT_NE(std::find(names.begin(), names.end(), common), names.end()) << c.role << " lacks " << common;
    }
    EXPECT_DOUBLE_EQ(HXAccessibility::attributeValue(*progress, HXAccessibilityValueAttribute).doubleValue(), 40);
    EXPECT_TRUE(HXAccessibility::attributeValue(*spinner, HXAccessibilityValueAttribute).isNull());
}

TEST_F(AccessibilityTest, ProgressIndicatorKeepsItsValueInRangeAndAnimatesOnTheRunLoop)
{
    auto progress = std::make_shared<HXProgressIndicator>(HXMakeRect(10, 10, 200, 12));
    window->contentView()->addSubview(progress);
    progress->setIndeterminate(false);
    struct Case {
        double set;
        double value;
        double fraction;
    };
    for (const auto& c : { Case { 25, 25, 0.25 }, Case { -5, 0, 0 }, Case { 250, 100, 1 }, Case { std::nan(""), 0, 0 } }) {
        progress->setDoubleValue(c.set);
        EXPECT_DOUBLE_EQ(progress->doubleValue(), c.value);
        EXPECT_DOUBLE_EQ(progress->fraction(), c.fraction);
    }
    progress->setMaxValue(0);  // no range: nothing filled, no division by zero
    EXPECT_DOUBLE_EQ(progress->fraction(), 0);
    progress->setIndeterminate(true);
    progress->startAnimation();
    long before = progress->animationPhase();
    clock->advance(1.0);
    HXRunLoop::main().runUntilDate(HXRunLoop::main().now());
    EXPECT_GT(progress->animationPhase(), before);
    progress->stopAnimation();
    long stopped = progress->animationPhase();
    clock->advance(1.0);
    HXRunLoop::main().runUntilDate(HXRunLoop::main().now());
    EXPECT_EQ(progress->animationPhase(), stopped);
    EXPECT_FALSE(progress->isAnimating());
}

TEST_F(AccessibilityTest, KeyViewLoopRunsThroughEveryControlInReadingOrder)
{
    // Added out of order on purpose; the loop goes top row first, left to right.
    auto bottomRight = add(std::make_shared<HXButton>(HXMakeRect(200, 20, 80, 24), "4"));
    auto topLeft = add(std::make_shared<HXTextField>(HXMakeRect(20, 200, 100, 22)));
    auto middle = add(std::make_shared<HXSlider>(HXMakeRect(20, 120, 150, 20)));
    auto topRight = add(std::make_shared<HXButton>(HXMakeRect(200, 201, 80, 24), "2"));
    auto label = add(HXTextField::labelWithString("not focusable", HXMakeRect(20, 60, 100, 20)), nullptr);
    HXRecalculateKeyViewLoop(*window);
    EXPECT_EQ(window->initialFirstResponder(), topLeft);
    std::vector<std::shared_ptr<HXView>> visited;
    window->makeFirstResponder(topLeft);
    for (int i = 0; i < 4; ++i) {
        visited.push_back(std::dynamic_pointer_cast<HXView>(window->firstResponder()));
        key("\t");
    }
    EXPECT_EQ(visited, (std::vector<std::shared_ptr<HXView>> { topLeft, topRight, middle, bottomRight }));
    EXPECT_EQ(window->firstResponder(), topLeft) << "the loop closes";
    // Disabled and hidden controls are passed over.
    topRight->setEnabled(false);
    middle->setHidden(true);
    key("\t");
    EXPECT_EQ(window->firstResponder(), bottomRight);
}
