// Tables: data source and delegate, selection by mouse and keys, editing in place, columns that move
// and resize (kept in the user's defaults), and row drag and drop.
#include "controls_fixture.h"

#include "platform/basekit/user_defaults.h"
#include "platform/winkit/number_formatter.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/table_header_view.h"
#include "platform/winkit/table_view.h"

namespace {

// Tracks as rows: a name and a number of frames.
class Tracks : public HXTableViewDataSource, public HXTableViewDelegate {
public:
    std::vector<std::pair<std::string, int64_t>> rows { { "Video", 250 }, { "Sound", 0 }, { "Text", 12 }, { "Chapters", 3 }, { "Timecode", 1 } };
    std::vector<std::string> log;
    long refuseRow = -1;
    bool refuseEditing = false;

    long numberOfRowsInTableView(HXTableView&) override { return long(rows.size()); }
    HXPropertyList objectValueForTableColumn(HXTableView&, HXTableColumn* column, long row) override
    {
        auto& r = rows.at(size_t(row));
        return column->identifier() == "name" ? HXPropertyList(r.first) : HXPropertyList(r.second);
    }
    void setObjectValue(HXTableView&, const HXPropertyList& value, HXTableColumn* column, long row) override
    {
        log.push_back("set " + column->identifier() + " " + std::to_string(row));
        if (column->identifier() == "name")
            rows.at(size_t(row)).first = value.stringValue();
        else
            rows.at(size_t(row)).second = value.integerValue();
    }
    bool writeRowsWithIndexes(HXTableView&, const HXIndexSet& which, HXPasteboard& pasteboard) override
    {
        HXPropertyList::Array list;
        for (long r : which)
            list.push_back(HXPropertyList(int64_t(r)));
        pasteboard.declareTypes({ "test.rows" }, nullptr);
        return pasteboard.setPropertyList(HXPropertyList(list), "test.rows");
    }
    unsigned validateDrop(HXTableView&, HXDraggingInfo&, long, HXTableViewDropOperation operation) override
    {
        return operation == HXTableViewDropAbove ? HXDragOperationMove : HXDragOperationNone;
    }
    bool acceptDrop(HXTableView&, HXDraggingInfo& info, long row, HXTableViewDropOperation) override
    {
        auto list = info.draggingPasteboard()->propertyListForType("test.rows");
        if (!list)
            return false;
        // Move the dragged rows to `row`, keeping their order.
        std::vector<std::pair<std::string, int64_t>> moved, rest;
        long insertAt = row;
        for (long i = 0; i < long(rows.size()); ++i) {
            bool dragged = false;
            for (const auto& v : list->arrayValue())
                dragged = dragged || v.integerValue() == i;
            (dragged ? moved : rest).push_back(rows[size_t(i)]);
            if (dragged && i < row)
                --insertAt;
        }
        rest.insert(rest.begin() + insertAt, moved.begin(), moved.end());
        rows = rest;
        log.push_back("drop " + std::to_string(row));
        return true;
    }
    bool shouldSelectRow(HXTableView&, long row) override { return row != refuseRow; }
    bool shouldEditTableColumn(HXTableView&, HXTableColumn*, long) override { return !refuseEditing; }
    void tableViewSelectionDidChange(HXTableView&) override { log.push_back("selection"); }

    std::vector<std::string> names() const
    {
        std::vector<std::string> n;
        for (const auto& r : rows)
            n.push_back(r.first);
        return n;
    }
};

}  // namespace

class TableViewTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        tracks = std::make_shared<Tracks>();
        scroll = std::make_shared<HXScrollView>(HXMakeRect(10, 10, 300, 200));
        window->contentView()->addSubview(scroll);
        table = std::make_shared<HXTableView>(HXMakeRect(0, 0, 280, 100));
        for (const char* id : { "name", "frames" }) {
            auto column = std::make_shared<HXTableColumn>(id);
            column->setTitle(id);
            column->setWidth(120);
            table->addTableColumn(column);
        }
        table->tableColumnWithIdentifier("frames")->dataCell()->setFormatter(std::make_shared<HXNumberFormatter>());
        scroll->setDocumentView(table);
        table->setDataSource(tracks);
        table->setDelegate(tracks);
        table->setTarget(target);
        table->setAction("hit:");
        table->setDoubleAction("open:");
        target->setActionHandler("open:", [this](HXObject*) { target->log.push_back("open:"); });
    }
    // The middle of a cell, in base coordinates.
    HXPoint cellPoint(long column, long row)
    {
        HXRect r = table->frameOfCellAtColumn(column, row);
        return basePoint(*table, { HXMidX(r), HXMidY(r) });
    }
    void clickRow(long row, uint32_t modifiers = 0, int clickCount = 1)
    {
        HXPoint p = cellPoint(0, row);
        HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, p, modifiers, clickCount);
        HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, p, modifiers, clickCount);
        app->processPendingEvents();
    }
    std::vector<long> selection() const { return { table->selectedRowIndexes().begin(), table->selectedRowIndexes().end() }; }

    std::shared_ptr<Tracks> tracks;
    std::shared_ptr<HXScrollView> scroll;
    std::shared_ptr<HXTableView> table;
};

TEST_F(TableViewTest, RowsComeFromTheDataSourceAndTheTableFillsTheScrollView)
{
    EXPECT_EQ(table->numberOfRows(), 5);
    EXPECT_EQ(table->rowAtPoint({ 5, 0 }), 0);
    EXPECT_EQ(table->rowAtPoint({ 5, 4 * 20 + 19.9 }), 4);
    EXPECT_EQ(table->rowAtPoint({ 5, 5 * 20 + 1 }), -1);
    EXPECT_EQ(table->columnAtPoint({ 130, 5 }), 1);
    EXPECT_EQ(table->columnAtPoint({ 400, 5 }), -1);
    EXPECT_GE(table->frame().size.height, scroll->contentSize().height);
    EXPECT_EQ(scroll->contentView()->documentView(), table);
    EXPECT_EQ(table->headerView()->superview(), scroll);
    tracks->rows.resize(40, { "More", 1 });
    table->reloadData();
    EXPECT_EQ(table->frame().size.height, 40 * 20);
    EXPECT_FALSE(scroll->verticalScroller()->isHidden());
    table->scrollRowToVisible(39);
    EXPECT_TRUE(HXContainsRect(scroll->documentVisibleRect(), table->rectOfRow(39)));
    window->display();  // every row draws without trouble
}

TEST_F(TableViewTest, ClicksAndModifiersSelectRows)
{
    struct Step {
        long row;
        uint32_t modifiers;
        std::vector<long> selected;
    };
    const Step steps[] = {
        { 1, 0, { 1 } },
        { 3, HXShiftKeyMask, { 1, 2, 3 } },
        { 2, HXCommandKeyMask, { 1, 3 } },
        { 4, HXCommandKeyMask, { 1, 3, 4 } },
        { 0, 0, { 0 } },
    };
    for (const auto& s : steps) {
        clickRow(s.row, s.modifiers);
        EXPECT_EQ(selection(), s.selected) << "click on " << s.row;
    }
    EXPECT_EQ(target->count(), 5u);
    // The delegate may refuse a row; a click below the rows clears the selection.
    tracks->refuseRow = 2;
    clickRow(2);
    EXPECT_EQ(selection(), (std::vector<long> { 0 }));
    click(basePoint(*table, { 10, 150 }));
    EXPECT_TRUE(selection().empty());
    table->setAllowsMultipleSelection(false);
    table->selectRowIndexes({ 1, 3 }, false);
    EXPECT_EQ(selection().size(), 1u);
}

TEST_F(TableViewTest, ArrowKeysMoveAndExtendTheSelection)
{
    ASSERT_TRUE(window->makeFirstResponder(table));
    struct Step {
        char32_t key;
        uint32_t modifiers;
        std::vector<long> selected;
    };
    const Step steps[] = {
        { HXDownArrowFunctionKey, 0, { 0 } },
        { HXDownArrowFunctionKey, 0, { 1 } },
        { HXDownArrowFunctionKey, HXShiftKeyMask, { 1, 2 } },
        { HXDownArrowFunctionKey, HXShiftKeyMask, { 1, 2, 3 } },
        { HXUpArrowFunctionKey, HXShiftKeyMask, { 1, 2 } },
        { HXEndFunctionKey, 0, { 4 } },
        { HXDownArrowFunctionKey, 0, { 4 } },
        { HXHomeFunctionKey, 0, { 0 } },
        { HXUpArrowFunctionKey, 0, { 0 } },
    };
    for (const auto& s : steps) {
        key(functionKey(s.key), s.modifiers);
        EXPECT_EQ(selection(), s.selected);
    }
    // Commands the table does not know go up the responder chain.
    auto responder = std::make_shared<HXResponder>();
    int deleted = 0;
    responder->setActionHandler("deleteBackward:", [&](HXObject*) { ++deleted; });
    table->setNextResponder(responder);
    key("\x7f");
    EXPECT_EQ(deleted, 1);
}

TEST_F(TableViewTest, DoubleClickEditsInPlaceAndReturnCommits)
{
    clickRow(1);
    HXPoint p = cellPoint(0, 1);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, p, 0, 2);
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, p, 0, 2);
    app->processPendingEvents();
    ASSERT_EQ(table->editedRow(), 1);
    EXPECT_EQ(table->editedColumn(), 0);
    auto editor = table->currentEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->string(), "Sound");
    EXPECT_EQ(editor->selectedRange(), (HXRange { 0, 5 }));
    for (char c : std::string("Audio"))
        key(std::string(1, c));
    key("\t");  // commits and moves to the next editable column
    EXPECT_EQ(tracks->rows[1].first, "Audio");
    EXPECT_EQ(table->editedColumn(), 1);
    key("4");
    key("2");
    key("\r");
    EXPECT_EQ(tracks->rows[1].second, 42);
    EXPECT_EQ(table->editedRow(), -1);
    EXPECT_EQ(table->currentEditor(), nullptr);
    // Escape drops the edit.
    table->editColumn(0, 2, nullptr, true);
    key("x");
    key("\x1b");
    EXPECT_EQ(tracks->rows[2].first, "Text");
    // Text the column's formatter refuses keeps the edit open.
    table->editColumn(1, 3, nullptr, true);
    key("z");
    key("\r");
    EXPECT_EQ(table->editedRow(), 3);
    EXPECT_EQ(tracks->rows[3].second, 3);
    key("\x1b");
    // A column that may not be edited sends the double action instead.
    tracks->refuseEditing = true;
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, p, 0, 2);
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, p, 0, 2);
    app->processPendingEvents();
    EXPECT_EQ(target->count("open:"), 1u);
    EXPECT_EQ(table->editedRow(), -1);
}

TEST_F(TableViewTest, ColumnsMoveAndResizeAndAreRemembered)
{
    auto moves = std::make_shared<std::vector<std::pair<int64_t, int64_t>>>();
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(HXTableViewColumnDidMoveNotification, table.get(),
        [moves](const HXNotification& n) {
            moves->push_back({ n.userInfo().at(HXOldColumnKey).integerValue(), n.userInfo().at(HXNewColumnKey).integerValue() });
        }));
    table->setAutosaveName("Tracks");
    table->setAutosaveTableColumns(true);
    // Drag the "frames" title to the left of "name".
    auto header = table->headerView();
    HXPoint from = basePoint(*header, { HXMidX(header->headerRectOfColumn(1)), 10 });
    drag(from, { { from.x - 60, from.y }, { from.x - 150, from.y } });
    EXPECT_EQ(table->tableColumns()[0]->identifier(), "frames");
    EXPECT_EQ(*moves, (std::vector<std::pair<int64_t, int64_t>> { { 1, 0 } }));
    // Drag the right edge of the first column: it resizes, within its limits.
    table->tableColumns()[0]->setMinWidth(40);
    HXPoint edge = basePoint(*header, { HXMaxX(header->headerRectOfColumn(0)), 10 });
    drag(edge, { { edge.x + 30, edge.y } });
    EXPECT_DOUBLE_EQ(table->tableColumns()[0]->width(), 150);
    drag(basePoint(*header, { HXMaxX(header->headerRectOfColumn(0)), 10 }), { { 0, edge.y } });
    EXPECT_DOUBLE_EQ(table->tableColumns()[0]->width(), 40);

    // A new table with the same autosave name comes back as it was left.
    auto again = std::make_shared<HXTableView>(HXMakeRect(0, 0, 280, 100));
    for (const char* id : { "name", "frames", "new" })
        again->addTableColumn(std::make_shared<HXTableColumn>(id));
    again->setAutosaveName("Tracks");
    again->setAutosaveTableColumns(true);
    EXPECT_EQ(again->tableColumns()[0]->identifier(), "frames");
    EXPECT_EQ(again->tableColumns()[1]->identifier(), "name");
    EXPECT_EQ(again->tableColumns()[2]->identifier(), "new");
    EXPECT_DOUBLE_EQ(again->tableColumns()[0]->width(), 40);
    // Something else stored under the key is ignored.
    HXUserDefaults::standardUserDefaults().setObject(HXPropertyList("garbage"), "HXTableView Columns Broken");
    auto broken = std::make_shared<HXTableView>();
    broken->addTableColumn(std::make_shared<HXTableColumn>("a"));
    broken->setAutosaveName("Broken");
    broken->setAutosaveTableColumns(true);
    EXPECT_EQ(broken->numberOfColumns(), 1);
    table->moveColumn(0, 7);
    EXPECT_EQ(moves->size(), 1u);
}

TEST_F(TableViewTest, RowsDragAndDropThroughTheDataSource)
{
    table->registerForDraggedTypes({ "test.rows" });
    clickRow(0);
    // Drag "Video" to just below "Text" (the lower quarter of row 2 drops above row 3).
    HXPoint from = cellPoint(0, 0);
    HXRect row2 = table->rectOfRow(2);
    HXPoint to = basePoint(*table, { 20, HXMaxY(row2) - 2 });
    drag(from, { { from.x, from.y - 10 }, to });
    EXPECT_EQ(tracks->names(), (std::vector<std::string> { "Sound", "Text", "Video", "Chapters", "Timecode" }));
    EXPECT_EQ(tracks->log.back(), "drop 3");
    EXPECT_EQ(table->dropRow(), -1);
    // A drop the data source refuses (onto the middle of a row) changes nothing.
    clickRow(0);
    auto before = tracks->names();
    HXRect row3 = table->rectOfRow(3);
    drag(cellPoint(0, 0), { { from.x, from.y - 10 }, basePoint(*table, { 20, HXMidY(row3) }) });
    EXPECT_EQ(tracks->names(), before);
}

TEST_F(TableViewTest, AccessibilityOfTheTable)
{
    EXPECT_EQ(HXAccessibility::attributeValue(*table, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityTableRole);
    EXPECT_EQ(HXAccessibility::attributeValue(*table, HXAccessibilityRowsAttribute).doubleValue(), 5);
    EXPECT_TRUE(HXAccessibility::setValue(*table, "1,3,9", HXAccessibilitySelectedRowsAttribute));
    EXPECT_EQ(selection(), (std::vector<long> { 1, 3 }));
    EXPECT_EQ(HXAccessibility::attributeValue(*table, HXAccessibilitySelectedRowsAttribute).stringValue(), "1,3");
    EXPECT_EQ(HXAccessibility::attributeValue(*scroll, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityScrollAreaRole);
    auto children = HXAccessibility::attributeValue(*scroll, HXAccessibilityChildrenAttribute).elements();
    ASSERT_FALSE(children.empty());
    EXPECT_EQ(children.front(), table);
}
