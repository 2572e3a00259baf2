// Tab views: choosing panes by click, keys and accessibility; the delegate may refuse; the focus leaves
// a pane that goes away.
#include "controls_fixture.h"

#include "platform/winkit/tab_view.h"
#include "platform/winkit/text_field.h"

namespace {
class Guard : public HXTabViewDelegate {
public:
    std::string refuse;
    std::vector<std::string> log;
    bool shouldSelectTabViewItem(HXTabView&, HXTabViewItem& item) override { return item.identifier() != refuse; }
    void willSelectTabViewItem(HXTabView&, HXTabViewItem& item) override { log.push_back("will " + item.identifier()); }
    void didSelectTabViewItem(HXTabView&, HXTabViewItem& item) override { log.push_back("did " + item.identifier()); }
};
}  // namespace

class TabViewTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        tabs = std::make_shared<HXTabView>(HXMakeRect(10, 10, 380, 250));
        window->contentView()->addSubview(tabs);
        for (const char* id : { "General", "Video", "Audio" }) {
            auto item = std::make_shared<HXTabViewItem>(id);
            item->setView(std::make_shared<HXView>());
            tabs->addTabViewItem(item);
        }
        guard = std::make_shared<Guard>();
        tabs->setDelegate(guard);
    }
    void clickTab(long index)
    {
        HXRect r = tabs->rectOfTabAtIndex(index);
        click(basePoint(*tabs, { HXMidX(r), HXMidY(r) }));
    }
    std::shared_ptr<HXTabView> tabs;
    std::shared_ptr<Guard> guard;
};

TEST_F(TabViewTest, ClicksKeysAndTheDelegateChooseThePane)
{
    EXPECT_EQ(tabs->selectedTabViewItem()->identifier(), "General");
    EXPECT_EQ(tabs->selectedTabViewItem()->view()->superview(), tabs);
    EXPECT_EQ(tabs->selectedTabViewItem()->view()->frame(), tabs->contentRect());
    clickTab(2);
    EXPECT_EQ(tabs->selectedTabViewItem()->identifier(), "Audio");
    EXPECT_EQ(tabs->tabViewItemAtIndex(0)->view()->superview(), nullptr);
    guard->refuse = "Video";
    clickTab(1);
    EXPECT_EQ(tabs->selectedTabViewItem()->identifier(), "Audio");
    EXPECT_FALSE(tabs->selectTabViewItemWithIdentifier("Video"));
    EXPECT_FALSE(tabs->selectTabViewItemWithIdentifier("Nothing"));
    guard->refuse.clear();
    ASSERT_TRUE(window->makeFirstResponder(tabs));
    key(functionKey(HXLeftArrowFunctionKey));
    EXPECT_EQ(tabs->selectedTabViewItem()->identifier(), "Video");
    key(functionKey(HXLeftArrowFunctionKey));
    key(functionKey(HXLeftArrowFunctionKey));
    EXPECT_EQ(tabs->selectedTabViewItem()->identifier(), "General");
    EXPECT_EQ(guard->log, (std::vector<std::string> { "will Audio", "did Audio", "will Video", "did Video", "will General", "did General" }));
    EXPECT_TRUE(HXAccessibility::setValue(*tabs, "Audio", HXAccessibilityValueAttribute));
    EXPECT_EQ(HXAccessibility::attributeValue(*tabs, HXAccessibilityValueAttribute).stringValue(), "Audio");
    EXPECT_EQ(HXAccessibility::attributeValue(*tabs, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityTabGroupRole);
}

TEST_F(TabViewTest, RemovingAndSwitchingPanesLeavesNoStaleFocus)
{
    auto field = std::make_shared<HXTextField>(HXMakeRect(10, 10, 100, 22));
    tabs->tabViewItemAtIndex(0)->view()->addSubview(field);
    ASSERT_TRUE(window->makeFirstResponder(field));
    tabs->selectTabViewItemAtIndex(1);
    EXPECT_NE(window->firstResponder(), field);
    EXPECT_FALSE(field->isEditing());
    tabs->removeTabViewItem(tabs->selectedTabViewItem());
    EXPECT_EQ(tabs->numberOfTabViewItems(), 2);
    EXPECT_EQ(tabs->selectedTabViewItem()->identifier(), "Audio") << "the neighbour takes over";
    tabs->removeTabViewItem(tabs->tabViewItemAtIndex(0));
    tabs->removeTabViewItem(tabs->tabViewItemAtIndex(0));
    EXPECT_EQ(tabs->selectedTabViewItem(), nullptr);
    EXPECT_TRUE(tabs->subviews().empty());
    window->display();
}
