// Toolbars: items from the delegate, selection, actions and validation, and the window around them.
#include "controls_fixture.h"

#include "platform/winkit/toolbar.h"

namespace {

class PaneDelegate : public HXToolbarDelegate {
public:
    std::vector<std::string> defaults { "General", "Bogus", "Fullscreen", "Capture" };
    std::vector<std::string> allowed { "General", "Bogus", "Fullscreen", "Capture", "Extra" };
    std::vector<std::string> selectable { "General", "Fullscreen", "Capture" };
    std::shared_ptr<HXObject> target;
    std::vector<std::pair<std::string, bool>> asked;

    std::shared_ptr<HXToolbarItem> toolbarItemForItemIdentifier(HXToolbar&, const std::string& identifier, bool insert) override
    {
        asked.emplace_back(identifier, insert);
        if (identifier == "Bogus")
            return nullptr;  // unknown: no item
        auto item = std::make_shared<HXToolbarItem>(identifier);
        item->setLabel(identifier);
        item->setToolTip("Show " + identifier);
        item->setTarget(target);
        item->setAction(HXSelector("pane:"));
        return item;
    }
    std::vector<std::string> toolbarDefaultItemIdentifiers(HXToolbar&) override { return defaults; }
    std::vector<std::string> toolbarAllowedItemIdentifiers(HXToolbar&) override { return allowed; }
    std::vector<std::string> toolbarSelectableItemIdentifiers(HXToolbar&) override { return selectable; }
};

std::vector<std::string> identifiers(const HXToolbar& toolbar)
{
    std::vector<std::string> out;
    for (const auto& item : toolbar.items())
        out.push_back(item->itemIdentifier());
    return out;
}

}  // namespace

class ToolbarTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        target = std::make_shared<ActionTarget>(std::vector<std::string> { "pane:" });
        delegate = std::make_shared<PaneDelegate>();
        delegate->target = target;
        toolbar = std::make_shared<HXToolbar>("PreferenceToolbarIdentifier");
        toolbar->setDelegate(delegate);
    }
    std::shared_ptr<PaneDelegate> delegate;
    std::shared_ptr<HXToolbar> toolbar;
};

TEST_F(ToolbarTest, TheDelegateMakesTheDefaultItemsAndUnknownIdentifiersGiveNone)
{
    EXPECT_EQ(identifiers(*toolbar), (std::vector<std::string> { "General", "Fullscreen", "Capture" }));
    for (const auto& [identifier, insert] : delegate->asked)
        EXPECT_TRUE(insert) << identifier;
    EXPECT_EQ(toolbar->itemWithIdentifier("Capture")->toolbar(), toolbar.get());

    toolbar->insertItemWithItemIdentifier("Extra", 1);
    toolbar->insertItemWithItemIdentifier("NotAllowed", 0);
    toolbar->insertItemWithItemIdentifier("General", 0);  // already there
    toolbar->insertItemWithItemIdentifier("Extra", 99);   // already there
    EXPECT_EQ(identifiers(*toolbar), (std::vector<std::string> { "General", "Extra", "Fullscreen", "Capture" }));
    toolbar->removeItemAtIndex(1);
    toolbar->removeItemAtIndex(7);
    EXPECT_EQ(identifiers(*toolbar), (std::vector<std::string> { "General", "Fullscreen", "Capture" }));
}

TEST_F(ToolbarTest, SelectionTakesOnlySelectableIdentifiersOfPresentItems)
{
    struct Case {
        const char* identifier;
        const char* selected;
    } cases[] = {
        { "Fullscreen", "Fullscreen" },
        { "Extra", "Fullscreen" },    // allowed but not present, not selectable
        { "Nothing", "Fullscreen" },
        { "", "" },
        { "Capture", "Capture" },
    };
    for (const auto& c : cases) {
        toolbar->setSelectedItemIdentifier(c.identifier);
        EXPECT_EQ(toolbar->selectedItemIdentifier(), c.selected) << c.identifier;
    }
}

TEST_F(ToolbarTest, AClickOnAnItemSelectsItAndSendsItsAction)
{
    window->setToolbar(toolbar);
    auto view = toolbar->toolbarView();
    ASSERT_NE(view->superview(), nullptr);
    auto rects = view->itemRects();
    ASSERT_EQ(rects.size(), 3u);
    HXHeadlessWindowServer::postClick(window, view->convertPointToView({ HXMidX(rects[1]), HXMidY(rects[1]) }, nullptr));
    app->processPendingEvents();
    EXPECT_EQ(toolbar->selectedItemIdentifier(), "Fullscreen");
    EXPECT_EQ(target->count("pane:"), 1u);
    EXPECT_EQ(target->lastSender, toolbar->itemWithIdentifier("Fullscreen").get());

    // A disabled item does nothing.
    toolbar->itemWithIdentifier("Capture")->setEnabled(false);
    EXPECT_FALSE(toolbar->performItemAction("Capture"));
    EXPECT_EQ(toolbar->selectedItemIdentifier(), "Fullscreen");
    EXPECT_EQ(target->count("pane:"), 1u);
}

TEST_F(ToolbarTest, ShowingAndHidingGrowsAndShrinksTheWindowAroundItsContent)
{
    HXRect frame = window->frame();
    HXSize content = window->contentView()->frame().size;
    window->setToolbar(toolbar);
    double h = toolbar->height();
    EXPECT_DOUBLE_EQ(window->frame().size.height, frame.size.height + h);
    EXPECT_DOUBLE_EQ(HXMaxY(window->frame()), HXMaxY(frame));  // the top edge stays
    EXPECT_EQ(window->contentView()->frame().size, content);
    EXPECT_EQ(window->contentRectForFrameRect(window->frame()).size, content);

    window->toggleToolbarShown();
    EXPECT_FALSE(toolbar->isVisible());
    EXPECT_EQ(window->frame(), frame);
    EXPECT_EQ(window->contentView()->frame().size, content);
    EXPECT_EQ(toolbar->toolbarView()->superview(), nullptr);

    window->toggleToolbarShown();
    toolbar->setDisplayMode(HXToolbarDisplayModeLabelOnly);
    EXPECT_DOUBLE_EQ(window->frame().size.height, frame.size.height + toolbar->height());
    EXPECT_EQ(window->contentView()->frame().size, content);

    window->setToolbar(nullptr);
    EXPECT_EQ(window->frame(), frame);
    EXPECT_EQ(toolbar->window(), nullptr);
}

TEST_F(ToolbarTest, ValidationAsksTheTargetAndAccessibilityListsTheItems)
{
    target->setActionHandler(HXSelector("pane:"), [](HXObject*) {});
    class Refuser : public HXObject {
    public:
        Refuser() { setActionHandler(HXSelector("pane:"), [](HXObject*) {}); }
        bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override { return item.tag() != 2; }
    };
    auto refuser = std::make_shared<Refuser>();
    for (auto& item : toolbar->items())
        item->setTarget(refuser);
    toolbar->itemWithIdentifier("Capture")->setTag(2);
    toolbar->validateVisibleItems();
    EXPECT_TRUE(toolbar->itemWithIdentifier("General")->isEnabled());
    EXPECT_FALSE(toolbar->itemWithIdentifier("Capture")->isEnabled());

    EXPECT_EQ(toolbar->accessibilityAttributeValue(HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityToolbarRole);
    auto children = toolbar->accessibilityAttributeValue(HXAccessibilityChildrenAttribute).elements();
    ASSERT_EQ(children.size(), 3u);
    auto* general = dynamic_cast<HXToolbarItem*>(children[0].get());
    ASSERT_NE(general, nullptr);
    EXPECT_EQ(general->accessibilityAttributeValue(HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityButtonRole);
    EXPECT_EQ(general->accessibilityAttributeValue(HXAccessibilityTitleAttribute).stringValue(), "General");
    EXPECT_EQ(general->accessibilityAttributeValue(HXAccessibilityHelpAttribute).stringValue(), "Show General");
    general->accessibilityPerformAction(HXAccessibilityPressAction);
    EXPECT_EQ(toolbar->selectedItemIdentifier(), "General");
    auto* capture = dynamic_cast<HXToolbarItem*>(children[2].get());
    EXPECT_TRUE(capture->accessibilityActionNames().empty());
}
