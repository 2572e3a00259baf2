// Pop-up and pull-down buttons: items and selection, choosing from the menu with the mouse and keys.
#include "controls_fixture.h"

#include "platform/winkit/pop_up_button.h"

class PopUpButtonTest : public ControlsTest {
protected:
    std::shared_ptr<HXPopUpButton> popUp(bool pullsDown = false)
    {
        auto p = add(std::make_shared<HXPopUpButton>(HXMakeRect(20, 100, 160, 26), pullsDown));
        p->addItemsWithTitles({ "Fit", "Half", "Actual", "Double" });
        for (long i = 0; i < p->numberOfItems(); ++i)
            p->itemAtIndex(i)->setTag(10 * (i + 1));
        return p;
    }
    // Opens the menu from the keyboard (nothing highlighted yet), then works it with keys.
    void chooseWithKeys(HXPopUpButton& p, const std::vector<std::string>& keys)
    {
        window->makeFirstResponder(std::static_pointer_cast<HXResponder>(p.shared_from_this()));
        HXHeadlessWindowServer::postKey(window, " ");
        for (const auto& k : keys)
            HXHeadlessWindowServer::postKey(window, k);
        app->processPendingEvents();
    }
};

TEST_F(PopUpButtonTest, ItemsAndSelection)
{
    auto p = popUp();
    EXPECT_EQ(p->indexOfSelectedItem(), 0);
    EXPECT_EQ(p->titleOfSelectedItem(), "Fit");
    EXPECT_EQ(p->title(), "Fit");
    EXPECT_TRUE(p->selectItemWithTag(30));
    EXPECT_EQ(p->titleOfSelectedItem(), "Actual");
    EXPECT_EQ(p->itemAtIndex(2)->state(), HXOnState);
    EXPECT_EQ(p->itemAtIndex(0)->state(), HXOffState);
    EXPECT_FALSE(p->selectItemWithTag(99));
    EXPECT_EQ(p->selectedTag(), 30) << "an unknown tag leaves the selection";
    // Titles are unique: adding one again moves it to the end.
    p->addItemWithTitle("Fit");
    EXPECT_EQ(p->itemTitles(), (std::vector<std::string> { "Half", "Actual", "Double", "Fit" }));
    EXPECT_EQ(p->titleOfSelectedItem(), "Actual");
    // Removing items keeps the selected one selected; removing it selects a neighbour.
    p->removeItemAtIndex(0);
    EXPECT_EQ(p->titleOfSelectedItem(), "Actual");
    p->removeItemWithTitle("Actual");
    EXPECT_EQ(p->indexOfSelectedItem(), 0);
    EXPECT_EQ(p->titleOfSelectedItem(), "Double");
    p->insertItemWithTitle("First", 0);
    EXPECT_EQ(p->titleOfSelectedItem(), "Double");
    p->removeItemAtIndex(42);
    p->selectItemAtIndex(-3);
    EXPECT_EQ(p->selectedItem(), nullptr);
    EXPECT_EQ(p->titleOfSelectedItem(), "");
    p->removeAllItems();
    EXPECT_EQ(p->numberOfItems(), 0);
    EXPECT_EQ(p->indexOfSelectedItem(), -1);
}

TEST_F(PopUpButtonTest, ChoosingFromTheMenuSelectsAndSendsTheAction)
{
    auto p = popUp();
    chooseWithKeys(*p, { functionKey(HXDownArrowFunctionKey), functionKey(HXDownArrowFunctionKey),
                           functionKey(HXDownArrowFunctionKey), "\r" });
    EXPECT_EQ(p->titleOfSelectedItem(), "Actual");
    EXPECT_EQ(target->count(), 1u);
    EXPECT_EQ(target->lastSender, p.get());
    EXPECT_FALSE(p->menu()->isTracking());
    EXPECT_FALSE(p->itemAtIndex(0)->action()) << "the items get back their own (empty) action";
    // Escape: nothing chosen, nothing sent.
    chooseWithKeys(*p, { functionKey(HXDownArrowFunctionKey), "\x1b" });
    EXPECT_EQ(p->titleOfSelectedItem(), "Actual");
    EXPECT_EQ(target->count(), 1u);
}

TEST_F(PopUpButtonTest, AnItemWithItsOwnActionSendsThatInstead)
{
    auto p = popUp();
    auto itemTarget = std::make_shared<ActionTarget>(std::vector<std::string> { "double:" });
    p->itemAtIndex(3)->setAction("double:");
    p->itemAtIndex(3)->setTarget(itemTarget);
    chooseWithKeys(*p, { functionKey(HXDownArrowFunctionKey), functionKey(HXDownArrowFunctionKey),
                           functionKey(HXDownArrowFunctionKey), functionKey(HXDownArrowFunctionKey), "\r" });
    EXPECT_EQ(itemTarget->count("double:"), 1u);
    EXPECT_EQ(target->count(), 0u);
    EXPECT_EQ(p->titleOfSelectedItem(), "Double");
    EXPECT_EQ(p->itemAtIndex(3)->action(), HXSelector("double:"));
}

TEST_F(PopUpButtonTest, AClickOpensTheMenuWithTheSelectedItemUnderTheMouse)
{
    auto p = popUp();
    p->selectItemAtIndex(2);
    // The menu opens with the selected item over the button, so releasing there takes it again.
    click(*p);
    EXPECT_EQ(target->count(), 1u);
    EXPECT_EQ(p->titleOfSelectedItem(), "Actual");
    EXPECT_FALSE(p->menu()->isTracking());
}

TEST_F(PopUpButtonTest, PullDownsKeepTheirFirstItemAsTitle)
{
    auto p = popUp(true);
    chooseWithKeys(*p, { functionKey(HXDownArrowFunctionKey), functionKey(HXDownArrowFunctionKey), "\r" });
    EXPECT_EQ(p->title(), "Fit");
    EXPECT_EQ(p->indexOfSelectedItem(), 1);
    EXPECT_EQ(target->count(), 1u);
    for (const auto& item : p->itemArray())
        EXPECT_EQ(item->state(), HXOffState) << "pull-downs check nothing";
    EXPECT_EQ(HXAccessibility::attributeValue(*p, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityMenuButtonRole);
}

TEST_F(PopUpButtonTest, KeyboardAndAccessibilityOpenTheMenu)
{
    auto p = popUp();
    ASSERT_TRUE(window->makeFirstResponder(p));
    HXHeadlessWindowServer::postKey(window, " ");
    HXHeadlessWindowServer::postKey(window, functionKey(HXDownArrowFunctionKey));
    HXHeadlessWindowServer::postKey(window, functionKey(HXDownArrowFunctionKey));
    HXHeadlessWindowServer::postKey(window, "\r");
    app->processPendingEvents();
    EXPECT_EQ(p->titleOfSelectedItem(), "Half");
    EXPECT_EQ(HXAccessibility::attributeValue(*p, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityPopUpButtonRole);
    EXPECT_EQ(HXAccessibility::attributeValue(*p, HXAccessibilityValueAttribute).stringValue(), "Half");
    // Press with events queued for the menu it opens.
    HXHeadlessWindowServer::postKey(window, functionKey(HXDownArrowFunctionKey));
    HXHeadlessWindowServer::postKey(window, "\r");
    EXPECT_TRUE(HXAccessibility::performAction(*p, HXAccessibilityPressAction));
    EXPECT_EQ(p->titleOfSelectedItem(), "Fit");
    p->setEnabled(false);
    HXHeadlessWindowServer::postClick(window, basePoint(*p));
    app->processPendingEvents();
    EXPECT_FALSE(p->menu()->isTracking());
}

TEST_F(PopUpButtonTest, ANumberAsObjectValueSelectsThatItem)
{
    // A table hands its pop-up data cell the row's value as a number.
    auto p = popUp();
    struct Case {
        HXPropertyList value;
        long selected;
    };
    const Case cases[] = {
        { HXPropertyList(2), 2 },
        { HXPropertyList(1.0), 1 },
        { HXPropertyList(-1), -1 },
        { HXPropertyList(99), -1 },
    };
    for (const auto& c : cases) {
        p->popUpCell()->setObjectValue(c.value);
        EXPECT_EQ(p->indexOfSelectedItem(), c.selected);
    }
    p->popUpCell()->setObjectValue(HXPropertyList(0));
    EXPECT_EQ(p->titleOfSelectedItem(), "Fit");
}
