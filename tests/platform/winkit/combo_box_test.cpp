// Combo boxes: the item list or a data source, picking from the list with the mouse and keys, completion
// while typing, and what assistive programs see.
#include "controls_fixture.h"

#include "platform/winkit/combo_box.h"
#include "platform/winkit/text_view.h"

class ComboBoxTest : public ControlsTest {
protected:
    std::shared_ptr<HXComboBox> comboBox()
    {
        auto box = add(std::make_shared<HXComboBox>(HXMakeRect(20, 100, 200, 24)));
        box->addItemsWithObjectValues({ HXPropertyList(std::string("rtsp://cam.local/live")),
            HXPropertyList(std::string("http://example.org/a.mov")),
            HXPropertyList(std::string("Rtmp://x")) });
        return box;
    }
    // A click on the arrow button, then keys in the list.
    void pickWithKeys(HXComboBox& box, const std::vector<std::string>& keys)
    {
        HXRect button = box.comboBoxCell()->buttonRectForBounds(box.bounds());
        HXHeadlessWindowServer::postClick(window, basePoint(box, { HXMidX(button), HXMidY(button) }));
        for (const auto& k : keys)
            HXHeadlessWindowServer::postKey(window, k);
        app->processPendingEvents();
    }
    std::string editorText(HXComboBox& box)
    {
        return box.currentEditor() ? box.currentEditor()->string() : "";
    }
};

// Values from elsewhere.
class Values : public HXComboBoxCellDataSource {
public:
    std::vector<std::string> values;
    long numberOfItemsInComboBoxCell(HXComboBoxCell&) override { return long(values.size()); }
    HXPropertyList objectValueForItemAtIndex(HXComboBoxCell&, long index) override
    {
        return HXPropertyList(values.at(size_t(index)));
    }
};

TEST_F(ComboBoxTest, TheItemListAndItsSelection)
{
    auto box = comboBox();
    EXPECT_EQ(box->numberOfItems(), 3);
    EXPECT_EQ(box->indexOfSelectedItem(), -1);
    int changes = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        HXComboBoxSelectionDidChangeNotification, box.get(), [&](const HXNotification&) { ++changes; });
    box->selectItemAtIndex(1);
    EXPECT_EQ(box->stringValue(), "http://example.org/a.mov") << "the field shows the value";
    EXPECT_EQ(box->objectValueOfSelectedItem().stringValue(), "http://example.org/a.mov");
    box->insertItemWithObjectValue(HXPropertyList(std::string("first")), 0);
    EXPECT_EQ(box->indexOfSelectedItem(), 2) << "the selection follows its value";
    box->removeItemAtIndex(0);
    EXPECT_EQ(box->indexOfSelectedItem(), 1);
    box->removeItemAtIndex(1);
    EXPECT_EQ(box->indexOfSelectedItem(), -1);
    box->selectItemAtIndex(7);
    box->removeItemAtIndex(-1);
    box->selectItemWithObjectValue(HXPropertyList(std::string("Rtmp://x")));
    EXPECT_EQ(box->indexOfSelectedItem(), 1);
    box->deselectItemAtIndex(1);
    EXPECT_EQ(box->indexOfSelectedItem(), -1);
    HXNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(box->itemObjectValueAtIndex(9).isNull(), true);
}

TEST_F(ComboBoxTest, PickingFromTheListFillsTheFieldAndSendsTheAction)
{
    auto box = comboBox();
    std::vector<std::string> seen;
    auto& center = HXNotificationCenter::defaultCenter();
    auto t1 = center.addObserver(
        HXComboBoxWillPopUpNotification, box.get(), [&](const HXNotification&) { seen.push_back("pop"); });
    auto t2 = center.addObserver(HXComboBoxWillDismissNotification, box.get(),
        [&](const HXNotification&) { seen.push_back("dismiss"); });
    pickWithKeys(*box, { functionKey(HXDownArrowFunctionKey), functionKey(HXDownArrowFunctionKey), "\r" });
    center.removeObserver(t1);
    center.removeObserver(t2);
    EXPECT_EQ(box->stringValue(), "http://example.org/a.mov");
    EXPECT_EQ(box->indexOfSelectedItem(), 1);
    EXPECT_EQ(target->count(), 1u);
    EXPECT_EQ(seen, (std::vector<std::string> { "pop", "dismiss" }));
    EXPECT_FALSE(box->comboBoxCell()->isPoppedUp());
    // Escape leaves everything as it was.
    pickWithKeys(*box, { functionKey(HXDownArrowFunctionKey), "\x1b" });
    EXPECT_EQ(box->stringValue(), "http://example.org/a.mov");
    EXPECT_EQ(target->count(), 1u);
}

TEST_F(ComboBoxTest, NothingToShowOrDisabledMeansNoList)
{
    auto box = add(std::make_shared<HXComboBox>(HXMakeRect(20, 100, 200, 24)));
    EXPECT_FALSE(box->popUp());
    box->addItemWithObjectValue(HXPropertyList(std::string("a")));
    box->setEnabled(false);
    EXPECT_FALSE(box->popUp());
}

TEST_F(ComboBoxTest, TypingCompletesFromTheValues)
{
    struct Case {
        const char* name;
        bool completes;
        std::vector<std::string> keys;
        const char* text;
    };
    const Case cases[] = {
        { "one letter", true, { "r" }, "rtsp://cam.local/live" },
        { "typing on replaces the completion", true, { "r", "t", "m" }, "rtmp://x" },
        { "deleting does not complete again", true, { "h", "\x7f" }, "h" },
        { "no value starts so", true, { "z" }, "z" },
        { "off", false, { "r" }, "r" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto box = comboBox();
        box->setCompletes(c.completes);
        window->makeFirstResponder(box);
        for (const auto& k : c.keys)
            HXHeadlessWindowServer::postKey(window, k);
        app->processPendingEvents();
        EXPECT_EQ(editorText(*box), c.text);
        box->abortEditing();
        box->removeFromSuperview();
    }
}

TEST_F(ComboBoxTest, TheCompletionKeepsWhatWasTypedAndSelectsTheRest)
{
    auto box = comboBox();
    box->setCompletes(true);
    window->makeFirstResponder(box);
    HXHeadlessWindowServer::postKey(window, "R");
    app->processPendingEvents();
    ASSERT_NE(box->currentEditor(), nullptr);
    EXPECT_EQ(editorText(*box), "Rtsp://cam.local/live");
    EXPECT_EQ(box->currentEditor()->selectedRange(), (HXRange { 1, 20 }));
}

TEST_F(ComboBoxTest, ADataSourceGivesTheValues)
{
    auto box = comboBox();
    auto values = std::make_shared<Values>();
    values->values = { "alpha", "beta" };
    box->setUsesDataSource(true);
    box->setDataSource(values);
    EXPECT_EQ(box->numberOfItems(), 2);
    EXPECT_EQ(box->itemObjectValueAtIndex(1).stringValue(), "beta");
    EXPECT_EQ(box->indexOfItemWithObjectValue(HXPropertyList(std::string("beta"))), 1);
    EXPECT_EQ(box->comboBoxCell()->completedString("BE"), "beta");
    box->selectItemAtIndex(1);
    values->values = { "alpha" };
    box->reloadData();
    EXPECT_EQ(box->indexOfSelectedItem(), -1) << "a selection past the end is dropped";
    values.reset();
    EXPECT_EQ(box->numberOfItems(), 0) << "a source that went away gives nothing";
}

TEST_F(ComboBoxTest, TheDownArrowOpensTheList)
{
    auto box = comboBox();
    window->makeFirstResponder(box);
    HXHeadlessWindowServer::postKey(window, functionKey(HXDownArrowFunctionKey));
    HXHeadlessWindowServer::postKey(window, functionKey(HXDownArrowFunctionKey));
    HXHeadlessWindowServer::postKey(window, "\r");
    app->processPendingEvents();
    EXPECT_EQ(box->indexOfSelectedItem(), 0);
    EXPECT_EQ(box->stringValue(), "rtsp://cam.local/live");
}

TEST_F(ComboBoxTest, AssistiveProgramsSeeAComboBox)
{
    auto box = comboBox();
    box->setStringValue("typed");
    EXPECT_EQ(HXAccessibility::attributeValue(*box, HXAccessibilityRoleAttribute).stringValue(),
        HXAccessibilityComboBoxRole);
    EXPECT_EQ(HXAccessibility::attributeValue(*box, HXAccessibilityValueAttribute).stringValue(), "typed");
    EXPECT_EQ(HXAccessibility::attributeValue(*box, "AXExpanded").boolValue(), false);
    auto actions = HXAccessibility::actionNames(*box);
    EXPECT_NE(std::find(actions.begin(), actions.end(), HXAccessibilityShowMenuAction), actions.end());
    // Show menu opens the list; the queued keys pick the second value.
    HXHeadlessWindowServer::postKey(window, functionKey(HXDownArrowFunctionKey));
    HXHeadlessWindowServer::postKey(window, functionKey(HXDownArrowFunctionKey));
    HXHeadlessWindowServer::postKey(window, "\r");
    EXPECT_TRUE(HXAccessibility::performAction(*box, HXAccessibilityShowMenuAction));
    EXPECT_EQ(box->stringValue(), "http://example.org/a.mov");
}

TEST_F(ComboBoxTest, TheTextStopsBeforeTheButton)
{
    auto cell = std::make_shared<HXComboBoxCell>("x");
    HXRect frame { { 0, 0 }, { 200, 24 } };
    EXPECT_EQ(cell->buttonRectForBounds(frame), (HXRect { { 180, 0 }, { 20, 24 } }));
    EXPECT_LE(HXMaxX(cell->titleRectForBounds(frame)), 180.0);
    EXPECT_GE(cell->cellSizeForBounds({ {}, { 1000, 1000 } }).width,
        HXTextFieldCell("x").cellSizeForBounds({ {}, { 1000, 1000 } }).width + 20);
}
