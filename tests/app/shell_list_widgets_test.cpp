// The list widgets of the auxiliary windows: keys that become requests to the data source, and the icon
// cell's geometry.
#include "app/combo_box.h"
#include "app/image_and_text_cell.h"
#include "app/mv_outline_view.h"
#include "app/mv_table_view.h"
#include "platform/basekit/notification_center.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/field_editor.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/scroll_view.h"
#include "platform/winkit/text_view.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Rows 0..count-1, with the requests it answers recorded.
class Source : public HXOutlineViewDataSource,
               public HXTableViewDataSource,
               public MVOutlineViewDataSource,
               public MVTableViewDataSource {
public:
    long count = 5;
    bool answersPlain = true, answersConfirm = true, answersOpen = true;
    bool answer = true;
    std::vector<std::string> calls;

    long numberOfChildrenOfItem(HXOutlineView&, const HXOutlineItem& item) override
    {
        return item ? 0 : count;
    }
    HXOutlineItem child(HXOutlineView&, long index, const HXOutlineItem&) override
    {
        return std::make_shared<long>(index);
    }
    bool isItemExpandable(HXOutlineView&, const HXOutlineItem&) override { return false; }
    HXPropertyList objectValueForTableColumn(HXOutlineView&, HXTableColumn*, const HXOutlineItem&) override
    {
        return {};
    }
    long numberOfRowsInTableView(HXTableView&) override { return count; }
    HXPropertyList objectValueForTableColumn(HXTableView&, HXTableColumn*, long) override { return {}; }

    static std::string rowsText(const HXIndexSet& rows)
    {
        std::string text;
        for (long r : rows)
            text += std::to_string(r);
        return text;
    }
    std::optional<bool> mvOutlineViewDeleteObjectsAtRows(MVOutlineView&, const HXIndexSet& rows) override
    {
        if (!answersPlain)
            return std::nullopt;
        calls.push_back("delete " + rowsText(rows));
        return answer;
    }
    std::optional<bool> mvOutlineViewDeleteObjectsAtRows(
        MVOutlineView&, const HXIndexSet& rows, bool confirm) override
    {
        if (!answersConfirm)
            return std::nullopt;
        calls.push_back(std::string(confirm ? "confirm " : "unconfirmed ") + rowsText(rows));
        return answer;
    }
    std::optional<bool> mvOutlineViewOpenObjectsAtRows(MVOutlineView&, const HXIndexSet& rows) override
    {
        if (!answersOpen)
            return std::nullopt;
        calls.push_back("open " + rowsText(rows));
        return answer;
    }
    std::optional<bool> mvTableViewDeleteObjectsAtRows(MVTableView&, const HXIndexSet& rows) override
    {
        if (!answersPlain)
            return std::nullopt;
        calls.push_back("table delete " + rowsText(rows));
        return answer;
    }
};

std::string utf8(char32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
    return s;
}

HXEvent key(char32_t c, uint32_t modifiers = 0)
{
    return HXEvent::keyEvent(HXKeyDown, {}, modifiers, 0, 0, utf8(c), utf8(c), false, HXKeyCodeUnknown);
}

class ListWidgetsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HXHeadlessWindowServer::install();
        HXApplication::setSharedApplication(std::make_shared<HXApplication>());
        window = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 300, 100 } }, HXTitledWindowMask);
        scroll = std::make_shared<HXScrollView>(HXRect { { 0, 0 }, { 300, 100 } });
        outline = std::make_shared<MVOutlineView>(HXRect { { 0, 0 }, { 300, 100 } });
        outline->addTableColumn(std::make_shared<HXTableColumn>("name"));
        source = std::make_shared<Source>();
        outline->setDataSource(source);
        outline->setRequestDataSource(source);
        scroll->setDocumentView(outline);
        window->setContentView(scroll);
        window->makeKeyAndOrderFront();
        outline->reloadData();
    }
    void TearDown() override
    {
        window->close();
        HXApplication::setSharedApplication(nullptr);
    }

    std::shared_ptr<HXWindow> window;
    std::shared_ptr<HXScrollView> scroll;
    std::shared_ptr<MVOutlineView> outline;
    std::shared_ptr<Source> source;
};

TEST_F(ListWidgetsTest, KeysBecomeRequestsOnlyWhenTheyCan)
{
    struct Case {
        const char* name;
        char32_t key;
        bool plain, confirm, open; // what the source answers
        bool selected, focused;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        { "Delete asks with confirmation", 127, true, true, true, true, true, { "confirm 13" } },
        { "forward delete too", HXDeleteFunctionKey, true, true, true, true, true, { "confirm 13" } },
        { "a source without the confirming request", 127, true, false, true, true, true, { "delete 13" } },
        { "a source with only the confirming request", 127, false, true, true, true, true, { "confirm 13" } },
        { "a source with neither", 127, false, false, true, true, true, {} },
        { "nothing selected", 127, true, true, true, false, true, {} },
        { "not the focus", 127, true, true, true, true, false, {} },
        { "Return opens", 13, true, true, true, true, true, { "open 13" } },
        { "Enter opens", 3, true, true, true, true, true, { "open 13" } },
        { "a source that does not open", 13, true, true, false, true, true, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        source->calls.clear();
        source->answersPlain = c.plain;
        source->answersConfirm = c.confirm;
        source->answersOpen = c.open;
        outline->deselectAll();
        if (c.selected)
            outline->selectRowIndexes({ 1, 3 }, false);
        window->makeFirstResponder(c.focused ? std::static_pointer_cast<HXResponder>(outline) : nullptr);
        outline->keyDown(key(c.key));
        EXPECT_EQ(source->calls, c.calls);
    }
}

TEST_F(ListWidgetsTest, CommandDeleteDeletesWithoutAsking)
{
    window->makeFirstResponder(outline);
    outline->selectRowIndexes({ 2 }, false);
    struct Case {
        const char* name;
        HXEvent event;
        bool plain, confirm;
        bool handled;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        { "Command-Delete", key(127, HXCommandKeyMask), true, true, true, { "delete 2" } },
        { "forward delete, any modifiers", key(HXDeleteFunctionKey, HXShiftKeyMask), true, true, true,
            { "delete 2" } },
        { "only the confirming request", key(127, HXCommandKeyMask), false, true, true, { "unconfirmed 2" } },
        { "Delete alone is no key equivalent", key(127), true, true, false, {} },
        { "a source with neither", key(127, HXCommandKeyMask), false, false, false, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        source->calls.clear();
        source->answersPlain = c.plain;
        source->answersConfirm = c.confirm;
        EXPECT_EQ(outline->performKeyEquivalent(c.event), c.handled);
        EXPECT_EQ(source->calls, c.calls);
    }
    source->answer = false;
    source->answersPlain = true;
    EXPECT_FALSE(outline->performKeyEquivalent(key(127, HXCommandKeyMask)))
        << "the source's answer is passed on";
}

TEST_F(ListWidgetsTest, HomeAndEndScrollEvenAnEmptyListSafely)
{
    source->count = 40;
    outline->reloadData();
    window->makeFirstResponder(outline);
    auto visibleTop = [&] { return scroll->documentVisibleRect().origin.y; };
    outline->keyDown(key(HXEndFunctionKey));
    EXPECT_GT(visibleTop(), 0.0);
    EXPECT_TRUE(HXContainsRect(scroll->documentVisibleRect(), outline->rectOfRow(39)));
    outline->keyDown(key(HXHomeFunctionKey));
    EXPECT_EQ(visibleTop(), 0.0);
    source->count = 0;
    outline->reloadData();
    outline->keyDown(key(HXEndFunctionKey));
    outline->keyDown(key(HXHomeFunctionKey));
    EXPECT_EQ(outline->draggingSourceOperationMaskForLocal(true), HXDragOperationLink);
    EXPECT_EQ(outline->draggingSourceOperationMaskForLocal(false), HXDragOperationLink);
}

TEST_F(ListWidgetsTest, TheTableViewDeletesOnDelete)
{
    auto table = std::make_shared<MVTableView>(HXRect { { 0, 0 }, { 300, 100 } });
    table->addTableColumn(std::make_shared<HXTableColumn>("name"));
    table->setDataSource(source);
    table->setRequestDataSource(source);
    window->setContentView(table);
    window->makeFirstResponder(table);
    table->reloadData();
    table->keyDown(key(127));
    EXPECT_TRUE(source->calls.empty()) << "nothing selected";
    table->selectRowIndexes({ 0, 4 }, false);
    table->keyDown(key(127));
    table->keyDown(key(HXDeleteFunctionKey));
    EXPECT_EQ(source->calls, (std::vector<std::string> { "table delete 04" })) << "only Delete itself";
}

TEST(ImageAndTextCellTest, TheIconTakesAStripBeforeTheText)
{
    ImageAndTextCell plain("name");
    ImageAndTextCell withIcon("name");
    withIcon.setImage(HXImage::initWithSize({ 16, 12 }));
    HXRect frame { { 10, 20 }, { 100, 17 } };

    EXPECT_EQ(plain.cellSize().width, HXTextFieldCell("name").cellSize().width + 3)
        << "3 points even without an icon";
    EXPECT_EQ(withIcon.cellSize().width, HXTextFieldCell("name").cellSize().width + 19);
    EXPECT_EQ(plain.imageFrameForCellFrame(frame), HXZeroRect);
    EXPECT_EQ(withIcon.imageFrameForCellFrame(frame), (HXRect { { 13, 23 }, { 16, 12 } })); // ceil(2.5)
    EXPECT_EQ(withIcon.textFrameForCellFrame(frame), (HXRect { { 29, 20 }, { 81, 17 } }));
    EXPECT_EQ(plain.textFrameForCellFrame(frame), (HXRect { { 13, 20 }, { 97, 17 } }));
}

TEST_F(ListWidgetsTest, TheFieldEditorStartsAfterTheIcon)
{
    auto cell = std::make_shared<ImageAndTextCell>("name");
    cell->setEditable(true);
    cell->setImage(HXImage::initWithSize({ 16, 16 }));
    auto editor = HXFieldEditor::fieldEditorForWindow(window.get());
    ASSERT_NE(editor, nullptr);
    HXRect frame { { 0, 0 }, { 200, 20 } };
    cell->selectWithFrame(frame, *outline, *editor, 0, 0);
    EXPECT_GE(editor->frame().origin.x, 19.0);
    EXPECT_LE(HXMaxX(editor->frame()), 200.0);
    cell->endEditing(*editor);
}

TEST_F(ListWidgetsTest, AComboBoxWithNoVisibleRowsNeverOpensItsList)
{
    auto box = std::make_shared<ComboBox>(HXRect { { 0, 0 }, { 200, 24 } });
    ASSERT_NE(std::dynamic_pointer_cast<ComboBoxCell>(box->cell()), nullptr);
    window->setContentView(box);
    box->addItemWithObjectValue(HXPropertyList(std::string("rtsp://cam.local/live")));
    box->setNumberOfVisibleItems(0);
    int opened = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        HXComboBoxWillPopUpNotification, nullptr, [&](const HXNotification&) { ++opened; });
    EXPECT_FALSE(box->popUp());
    HXNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(opened, 0);
}

} // namespace
