// Pasteboards, and drag and drop between views and from the desktop.
#include "winkit_fixture.h"

#include "platform/winkit/dragging.h"
#include "platform/winkit/pasteboard.h"

namespace {

class LazyOwner : public HXPasteboardOwner {
public:
    int asked = 0;
    void pasteboardProvideDataForType(HXPasteboard& board, const std::string& type) override
    {
        ++asked;
        board.setString("provided " + type, type);
    }
};

class SourceView : public HXView, public HXDraggingSource {
public:
    using HXView::HXView;
    unsigned allowed = HXDragOperationCopy | HXDragOperationMove;
    unsigned result = 99;
    unsigned endedWith = 99;
    std::string payload = "dragged text";
    unsigned draggingSourceOperationMaskForLocal(bool) override { return allowed; }
    void draggedImageEndedAt(HXPoint, unsigned operation) override { endedWith = operation; }
    void mouseDown(const HXEvent& event) override
    {
        auto board = HXPasteboard::pasteboardWithName(HXDragPboard);
        board->declareTypes({ HXStringPboardType }, nullptr);
        board->setString(payload, HXStringPboardType);
        result = dragImage(nullptr, {}, {}, event, board, this, true);
    }
};

class DropView : public HXView, public HXDraggingDestination {
public:
    using HXView::HXView;
    unsigned accepts = HXDragOperationCopy;
    std::vector<std::string> log;
    std::string received;
    std::vector<std::string> files;
    HXPoint lastLocation;
    unsigned draggingEntered(HXDraggingInfo& info) override
    {
        log.push_back("entered");
        lastLocation = info.draggingLocation();
        return accepts & info.draggingSourceOperationMask();
    }
    unsigned draggingUpdated(HXDraggingInfo& info) override
    {
        lastLocation = info.draggingLocation();
        return accepts & info.draggingSourceOperationMask();
    }
    void draggingExited(HXDraggingInfo&) override { log.push_back("exited"); }
    bool performDragOperation(HXDraggingInfo& info) override
    {
        log.push_back("perform");
        received = info.draggingPasteboard()->stringForType(HXStringPboardType).value_or("");
        files = info.draggingPasteboard()->fileNames();
        return true;
    }
    void concludeDragOperation(HXDraggingInfo&) override { log.push_back("conclude"); }
};

class FileDelegate : public HXApplicationDelegate {
public:
    std::vector<std::string> opened;
    bool applicationOpenFiles(HXApplication&, const std::vector<std::string>& paths) override
    {
        opened = paths;
        return true;
    }
};

}  // namespace

class PasteboardTest : public WinkitTest {};

TEST_F(PasteboardTest, TypesDataAndChangeCount)
{
    auto board = HXPasteboard::pasteboardWithUniqueName();
    long first = board->declareTypes({ HXStringPboardType, HXFilenamesPboardType }, nullptr);
    EXPECT_TRUE(board->setString("hello", HXStringPboardType));
    EXPECT_TRUE(board->setFileNames({ "/tmp/a.mov", "/tmp/b.mov" }));
    EXPECT_EQ(board->stringForType(HXStringPboardType), "hello");
    EXPECT_EQ(board->dataForType(HXStringPboardType)->view(), "hello");
    EXPECT_EQ(board->fileNames(), (std::vector<std::string> { "/tmp/a.mov", "/tmp/b.mov" }));
    EXPECT_EQ(board->availableTypeFromArray({ HXMoviePboardType, HXFilenamesPboardType }), HXFilenamesPboardType);
    EXPECT_EQ(board->availableTypeFromArray({ HXMoviePboardType }), "");
    EXPECT_FALSE(board->stringForType(HXMoviePboardType));
    // Declaring again clears what was there and counts a change.
    long second = board->declareTypes({ HXMoviePboardType }, nullptr);
    EXPECT_GT(second, first);
    EXPECT_FALSE(board->stringForType(HXStringPboardType));
    EXPECT_TRUE(board->fileNames().empty());
    // A promised type with nobody to provide it reads as absent.
    EXPECT_FALSE(board->dataForType(HXMoviePboardType));
    EXPECT_EQ(HXPasteboard::generalPasteboard(), HXPasteboard::pasteboardWithName(HXGeneralPboard));
}

TEST_F(PasteboardTest, PromisedTypesAreProvidedOnceWhenFirstRead)
{
    auto board = HXPasteboard::pasteboardWithUniqueName();
    auto owner = std::make_shared<LazyOwner>();
    board->declareTypes({ HXStringPboardType }, owner);
    EXPECT_EQ(owner->asked, 0);
    EXPECT_EQ(board->stringForType(HXStringPboardType), "provided HXStringPboardType");
    EXPECT_EQ(board->stringForType(HXStringPboardType), "provided HXStringPboardType");
    EXPECT_EQ(owner->asked, 1);
    // Types that were never promised are not asked for.
    EXPECT_FALSE(board->stringForType(HXFilenamesPboardType));
    EXPECT_EQ(owner->asked, 1);
}

TEST_F(PasteboardTest, DragBetweenViewsOfTwoWindows)
{
    struct Case {
        const char* name;
        unsigned accepts;
        uint32_t modifiers;
        std::vector<std::string> registered;
        unsigned expected;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        { "copy", HXDragOperationCopy, 0, { HXStringPboardType }, HXDragOperationCopy, { "entered", "perform", "conclude" } },
        { "move with Command", HXDragOperationCopy | HXDragOperationMove, HXCommandKeyMask, { HXStringPboardType },
            HXDragOperationMove, { "entered", "perform", "conclude" } },
        { "refused", HXDragOperationLink, 0, { HXStringPboardType }, HXDragOperationNone, { "entered", "exited" } },
        { "other type", HXDragOperationCopy, 0, { HXFilenamesPboardType }, HXDragOperationNone, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto left = makeWindow(HXMakeRect(0, 0, 200, 200), HXTitledWindowMask);
        auto right = makeWindow(HXMakeRect(300, 0, 200, 200), HXTitledWindowMask);
        auto source = std::make_shared<SourceView>(HXMakeRect(0, 0, 100, 100));
        auto target = std::make_shared<DropView>(HXMakeRect(50, 50, 100, 100));
        target->accepts = c.accepts;
        target->registerForDraggedTypes(c.registered);
        left->contentView()->addSubview(source);
        right->contentView()->addSubview(target);
        right->orderFront();
        left->makeKeyAndOrderFront();
        // Down in the source, drag across into the right window (left's base coordinates), up there.
        HXHeadlessWindowServer::postMouse(HXLeftMouseDown, left, { 50, 50 });
        HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, left, { 250, 50 }, c.modifiers);
        HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, left, { 380, 100 }, c.modifiers);
        HXHeadlessWindowServer::postMouse(HXLeftMouseUp, left, { 380, 100 }, c.modifiers);
        app->processPendingEvents();
        EXPECT_EQ(source->result, c.expected);
        EXPECT_EQ(source->endedWith, c.expected);
        EXPECT_EQ(target->log, c.log);
        if (c.expected != HXDragOperationNone) {
            EXPECT_EQ(target->received, "dragged text");
            EXPECT_EQ(target->lastLocation, (HXPoint { 80, 100 }));
        }
        left->close();
        right->close();
    }
}

TEST_F(PasteboardTest, FilesDroppedFromTheDesktop)
{
    auto delegate = std::make_shared<FileDelegate>();
    app->setDelegate(delegate);
    auto window = makeWindow(HXMakeRect(0, 0, 200, 200), HXTitledWindowMask);
    auto target = std::make_shared<DropView>(HXMakeRect(0, 0, 100, 100));
    target->registerForDraggedTypes({ HXFilenamesPboardType });
    window->contentView()->addSubview(target);
    window->orderFront();
    // On the view that takes files...
    app->handleFileDrop(window, { 20, 20 }, { "/home/u/a.mov", "/home/u/b.mp4" });
    EXPECT_EQ(target->files, (std::vector<std::string> { "/home/u/a.mov", "/home/u/b.mp4" }));
    EXPECT_TRUE(delegate->opened.empty());
    // ...and elsewhere in the window: the program opens them.
    app->handleFileDrop(window, { 150, 150 }, { "/home/u/c.mov" });
    EXPECT_EQ(delegate->opened, (std::vector<std::string> { "/home/u/c.mov" }));
    EXPECT_EQ(target->files.size(), 2u);
}
