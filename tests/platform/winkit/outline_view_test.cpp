// Outlines: rows follow what is expanded, keys and the disclosure triangle open and close items, and
// drops land between or onto items.
#include "controls_fixture.h"

#include "platform/winkit/outline_view.h"
#include "platform/winkit/pasteboard.h"

namespace {

struct Node {
    std::string name;
    std::vector<std::shared_ptr<Node>> children;
    bool folder = false;
};

std::shared_ptr<Node> node(std::string name, std::vector<std::shared_ptr<Node>> children = {}, bool folder = false)
{
    auto n = std::make_shared<Node>();
    n->name = std::move(name);
    n->children = std::move(children);
    n->folder = folder || !n->children.empty();
    return n;
}

class Library : public HXOutlineViewDataSource {
public:
    std::shared_ptr<Node> root = node("root",
        { node("Movies", { node("Trailer"), node("Short", { node("Scene 1"), node("Scene 2") }) }), node("Sounds", {}, true), node("Loose") });
    std::vector<std::string> drops;

    static Node* of(const HXOutlineItem& item) { return static_cast<Node*>(item.get()); }
    const Node& nodeOf(const HXOutlineItem& item) const { return item ? *of(item) : *root; }
    long numberOfChildrenOfItem(HXOutlineView&, const HXOutlineItem& item) override { return long(nodeOf(item).children.size()); }
    HXOutlineItem child(HXOutlineView&, long index, const HXOutlineItem& item) override { return nodeOf(item).children.at(size_t(index)); }
    bool isItemExpandable(HXOutlineView&, const HXOutlineItem& item) override { return nodeOf(item).folder; }
    HXPropertyList objectValueForTableColumn(HXOutlineView&, HXTableColumn*, const HXOutlineItem& item) override { return nodeOf(item).name; }
    bool writeItems(HXOutlineView&, const std::vector<HXOutlineItem>& items, HXPasteboard& pasteboard) override
    {
        pasteboard.declareTypes({ "test.node" }, nullptr);
        return pasteboard.setString(of(items.front())->name, "test.node");
    }
    unsigned validateDrop(HXOutlineView&, HXDraggingInfo&, const HXOutlineItem& item, long index) override
    {
        // Only folders take drops, onto them or between their children.
        return nodeOf(item).folder || (!item && index >= 0) ? HXDragOperationMove : HXDragOperationNone;
    }
    bool acceptDrop(HXOutlineView&, HXDraggingInfo& info, const HXOutlineItem& item, long index) override
    {
        drops.push_back(info.draggingPasteboard()->stringForType("test.node").value_or("?") + " -> " + nodeOf(item).name + " @" + std::to_string(index));
        return true;
    }
};

}  // namespace

class OutlineViewTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        library = std::make_shared<Library>();
        outline = std::make_shared<HXOutlineView>(HXMakeRect(10, 10, 300, 250));
        auto column = std::make_shared<HXTableColumn>("name");
        column->setWidth(250);
        outline->addTableColumn(column);
        window->contentView()->addSubview(outline);
        outline->setDataSource(library);
    }
    std::vector<std::string> shown() const
    {
        std::vector<std::string> names;
        for (long r = 0; r < outline->numberOfRows(); ++r)
            names.push_back(std::string(long(outline->levelForRow(r)) * 2, ' ') + Library::of(outline->itemAtRow(r))->name);
        return names;
    }
    HXOutlineItem item(const std::string& name) const
    {
        for (long r = 0; r < outline->numberOfRows(); ++r)
            if (Library::of(outline->itemAtRow(r))->name == name)
                return outline->itemAtRow(r);
        return nullptr;
    }

    std::shared_ptr<Library> library;
    std::shared_ptr<HXOutlineView> outline;
};

TEST_F(OutlineViewTest, RowsFollowWhatIsExpanded)
{
    EXPECT_EQ(shown(), (std::vector<std::string> { "Movies", "Sounds", "Loose" }));
    auto expanded = record({ HXOutlineViewItemDidExpandNotification, HXOutlineViewItemDidCollapseNotification }, outline.get());
    outline->expandItem(item("Movies"));
    EXPECT_EQ(shown(), (std::vector<std::string> { "Movies", "  Trailer", "  Short", "Sounds", "Loose" }));
    outline->expandItem(item("Short"));
    EXPECT_EQ(outline->levelForItem(item("Scene 2")), 2);
    EXPECT_EQ(Library::of(outline->parentForItem(item("Scene 1")))->name, "Short");
    outline->expandItem(item("Loose"));  // a leaf does not expand
    EXPECT_EQ(outline->numberOfRows(), 7);
    // Collapsing hides the children but remembers the expanded grandchild.
    outline->selectRow(outline->rowForItem(item("Scene 1")));
    outline->collapseItem(item("Movies"));
    EXPECT_EQ(shown(), (std::vector<std::string> { "Movies", "Sounds", "Loose" }));
    EXPECT_EQ(outline->selectedRow(), 0) << "the selection inside moves to the collapsed item";
    outline->expandItem(item("Movies"));
    EXPECT_EQ(outline->numberOfRows(), 7);
    EXPECT_EQ(*expanded, (std::vector<std::string> { HXOutlineViewItemDidExpandNotification, HXOutlineViewItemDidExpandNotification,
                             HXOutlineViewItemDidCollapseNotification, HXOutlineViewItemDidExpandNotification }));
    // Option: everything below too.
    outline->collapseItem(item("Movies"), true);
    outline->expandItem(item("Movies"));
    EXPECT_EQ(outline->numberOfRows(), 5);
}

TEST_F(OutlineViewTest, ArrowKeysAndTheTriangleOpenAndClose)
{
    ASSERT_TRUE(window->makeFirstResponder(outline));
    outline->selectRow(0);
    key(functionKey(HXRightArrowFunctionKey));
    EXPECT_TRUE(outline->isItemExpanded(item("Movies")));
    key(functionKey(HXDownArrowFunctionKey));
    key(functionKey(HXDownArrowFunctionKey));
    EXPECT_EQ(Library::of(outline->itemAtRow(outline->selectedRow()))->name, "Short");
    key(functionKey(HXLeftArrowFunctionKey));  // not expanded: up to the parent
    EXPECT_EQ(outline->selectedRow(), 0);
    key(functionKey(HXLeftArrowFunctionKey));
    EXPECT_FALSE(outline->isItemExpanded(item("Movies")));
    HXRect triangle = outline->frameOfOutlineCellAtRow(1);  // Sounds: a folder without children
    ASSERT_FALSE(HXIsEmptyRect(triangle));
    EXPECT_TRUE(HXIsEmptyRect(outline->frameOfOutlineCellAtRow(2))) << "leaves have no triangle";
    click(basePoint(*outline, { HXMidX(triangle), HXMidY(triangle) }));
    EXPECT_TRUE(outline->isItemExpanded(item("Sounds")));
    EXPECT_EQ(outline->selectedRow(), 0) << "the triangle does not select";
    window->display();
}

TEST_F(OutlineViewTest, DropsGoOntoFoldersOrBetweenSiblings)
{
    outline->registerForDraggedTypes({ "test.node" });
    outline->expandItem(item("Movies"));
    outline->selectRow(outline->rowForItem(item("Loose")));
    auto rowPoint = [&](long row, double fraction) {
        HXRect r = outline->rectOfRow(row);
        return basePoint(*outline, { 40, r.origin.y + r.size.height * fraction });
    };
    long loose = outline->rowForItem(item("Loose"));
    // Onto "Sounds"; then just above "Short" (the second child of Movies).
    drag(rowPoint(loose, 0.5), { rowPoint(loose, 0.2), rowPoint(outline->rowForItem(item("Sounds")), 0.5) });
    drag(rowPoint(loose, 0.5), { rowPoint(loose, 0.2), rowPoint(outline->rowForItem(item("Short")), 0.1) });
    // Onto a leaf: refused.
    drag(rowPoint(loose, 0.5), { rowPoint(loose, 0.2), rowPoint(outline->rowForItem(item("Trailer")), 0.5) });
    EXPECT_EQ(library->drops, (std::vector<std::string> { "Loose -> Sounds @-1", "Loose -> Movies @1" }));
}
