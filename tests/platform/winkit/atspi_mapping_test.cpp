// How elements of the accessibility model read to the desktop's assistive software: roles, names, states,
// actions and positions in the X screen's coordinates.
#include "controls_fixture.h"

#include "platform/winkit/accessibility.h"
#include "platform/winkit/atspi_mapping.h"
#include "platform/winkit/button.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/slider.h"
#include "platform/winkit/text_field.h"

using namespace HXATSPI;

class ATSPIMappingTest : public ControlsTest {
protected:
    std::vector<HXScreen> screens() override
    {
        return { HXScreen(1, HXMakeRect(0, 0, 1280, 1024), HXMakeRect(0, 0, 1280, 1000)) };
    }
};

TEST_F(ATSPIMappingTest, RolesNamesAndStatesOfControls)
{
    auto push = add(std::make_shared<HXButton>(HXMakeRect(10, 10, 80, 24), "Play"));
    auto check = add(std::make_shared<HXButton>(HXMakeRect(10, 40, 80, 24), "Loop"));
    check->setButtonType(HXSwitchButton);
    check->setState(1);
    auto slider = add(std::make_shared<HXSlider>(HXMakeRect(10, 70, 150, 20)));
    auto field = add(std::make_shared<HXTextField>(HXMakeRect(10, 100, 150, 22)));
    auto disabled = add(std::make_shared<HXButton>(HXMakeRect(100, 10, 80, 24), "Stop"));
    disabled->setEnabled(false);

    struct Case {
        std::shared_ptr<HXObject> element;
        uint32_t role;
        std::vector<State> present;
        std::vector<State> absent;
    };
    const std::vector<Case> cases {
        { window, RoleFrame, { StateActive, StateVisible, StateShowing, StateEnabled }, { StateModal } },
        { push, RolePushButton, { StateEnabled, StateSensitive, StateVisible, StateShowing },
            { StateCheckable } },
        { check, RoleCheckBox, { StateCheckable, StateChecked }, {} },
        { slider, RoleSlider, { StateHorizontal }, { StateVertical } },
        { field, RoleEntry, { StateEditable, StateSingleLine, StateFocusable }, {} },
        { disabled, RolePushButton, { StateVisible }, { StateEnabled, StateSensitive } },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(role(*c.element), c.role);
        auto set = states(*c.element);
        for (auto s : c.present)
            EXPECT_TRUE(hasState(set, s)) << roleName(c.role) << " lacks state " << s;
        for (auto s : c.absent)
            EXPECT_FALSE(hasState(set, s)) << roleName(c.role) << " has state " << s;
    }
    EXPECT_EQ(name(*push), "Play");
    EXPECT_EQ(name(*window), window->title());
    EXPECT_TRUE(hasValue(*slider));
    EXPECT_FALSE(hasValue(*push));

    // A hidden control is neither visible nor showing; an ordered-out window hides all it holds.
    push->setHidden(true);
    EXPECT_FALSE(hasState(states(*push), StateShowing));
    push->setHidden(false);
    window->orderOut();
    EXPECT_FALSE(hasState(states(*slider), StateShowing));
    EXPECT_FALSE(hasState(states(*window), StateVisible));
}

TEST_F(ATSPIMappingTest, NamesComeFromTitleThenDescription)
{
    auto button = add(std::make_shared<HXButton>(HXMakeRect(10, 10, 80, 24), ""));
    EXPECT_EQ(name(*button), "");
    HXAccessibility::setOverrideValue(*button, std::string("timeline"), HXAccessibilityDescriptionAttribute);
    EXPECT_EQ(name(*button), "timeline");
    EXPECT_EQ(description(*button), "") << "a description that became the name is not said twice";
    HXAccessibility::setOverrideValue(*button, std::string("Mute"), HXAccessibilityTitleAttribute);
    EXPECT_EQ(name(*button), "Mute");
    EXPECT_EQ(description(*button), "timeline");
    HXAccessibility::setOverrideValue(
        *button, std::string("Silences the movie"), HXAccessibilityHelpAttribute);
    EXPECT_EQ(description(*button), "Silences the movie");
}

TEST_F(ATSPIMappingTest, ActionNamesBothWays)
{
    const std::pair<const char*, const char*> names[] = {
        { HXAccessibilityPressAction, "click" },
        { HXAccessibilityIncrementAction, "increment" },
        { HXAccessibilityDecrementAction, "decrement" },
        { HXAccessibilityShowMenuAction, "showmenu" },
    };
    for (auto [model, protocol] : names) {
        EXPECT_EQ(actionName(model), protocol);
        EXPECT_EQ(modelAction(protocol), model);
        EXPECT_EQ(modelAction(model), model);
    }
    EXPECT_EQ(modelAction("explode"), "");
}

TEST_F(ATSPIMappingTest, ExtentsAreMeasuredFromTheTopOfTheFirstScreen)
{
    auto button = add(std::make_shared<HXButton>(HXMakeRect(30, 40, 100, 24), "OK"));
    EXPECT_EQ(primaryScreenTop(), 1024);
    HXRect onScreen = button->convertRectToScreen(button->bounds());
    HXRect extents = screenExtents(*button, 1024);
    EXPECT_EQ(extents.origin.x, onScreen.origin.x);
    EXPECT_EQ(extents.origin.y, 1024 - HXMaxY(onScreen));
    EXPECT_EQ(extents.size, onScreen.size);
    HXRect inWindow = relativeExtents(extents, screenExtents(*window, 1024));
    // The window's top edge is its frame's (title bar included); the button lies below it.
    EXPECT_EQ(inWindow.origin.x, onScreen.origin.x - window->frame().origin.x);
    EXPECT_GT(inWindow.origin.y, 0);
}
