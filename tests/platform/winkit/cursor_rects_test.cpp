// Cursor rectangles: which cursor a window shows for a point, and that it follows the views as they
// change.
#include "controls_fixture.h"

#include "platform/winkit/cursor.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/text_view.h"

namespace {

// A view that adds the rectangles it is given, and counts how often it was asked.
class CursorView : public HXView {
public:
    using HXView::HXView;
    void resetCursorRects() override
    {
        ++resets;
        for (const auto& [rect, cursor] : rects)
            addCursorRect(rect, cursor);
    }
    std::vector<std::pair<HXRect, std::shared_ptr<HXCursor>>> rects;
    int resets = 0;
};

} // namespace

class CursorRectsTest : public ControlsTest {
protected:
    HXCursorType cursorAt(HXPoint base) { return window->cursorForPoint(base)->type(); }
    void moveMouse(HXPoint base)
    {
        HXHeadlessWindowServer::postMouse(HXMouseMoved, window, base);
        app->processPendingEvents();
    }
    HXCursorType shown() { return server->cursor(); }
};

TEST_F(CursorRectsTest, TheFrontmostViewWithARectangleThereChooses)
{
    auto back = std::make_shared<CursorView>(HXMakeRect(10, 10, 200, 100));
    back->rects = { { HXMakeRect(0, 0, 200, 100), HXCursor::IBeamCursor() } };
    window->contentView()->addSubview(back);
    // A child inside `back` with an arrow over its left half and nothing over its right half.
    auto child = std::make_shared<CursorView>(HXMakeRect(50, 20, 100, 50));
    child->rects = { { HXMakeRect(0, 0, 50, 50), HXCursor::arrowCursor() } };
    back->addSubview(child);
    // A later rectangle of the same view wins over an earlier one.
    auto layered = std::make_shared<CursorView>(HXMakeRect(250, 10, 100, 100));
    layered->rects = { { HXMakeRect(0, 0, 100, 100), HXCursor::arrowCursor() },
        { HXMakeRect(0, 0, 50, 50), HXCursor::IBeamCursor() } };
    window->contentView()->addSubview(layered);
    // Partly outside its superview: the hidden part does not count.
    auto clipped = std::make_shared<CursorView>(HXMakeRect(150, 60, 100, 100));
    clipped->rects = { { HXMakeRect(0, 0, 100, 100), HXCursor::IBeamCursor() } };
    back->addSubview(clipped);

    struct Case {
        const char* what;
        HXPoint base;
        HXCursorType cursor;
    };
    const Case cases[] = {
        { "over no view with rectangles", { 5, 5 }, HXCursorType::Arrow },
        { "over the back view only", { 20, 20 }, HXCursorType::IBeam },
        { "over the child's arrow rectangle", { 70, 40 }, HXCursorType::Arrow },
        { "over the child, outside its rectangles: the back view's", { 130, 40 }, HXCursorType::IBeam },
        { "the later of two rectangles", { 260, 20 }, HXCursorType::IBeam },
        { "only the earlier rectangle there", { 330, 90 }, HXCursorType::Arrow },
        { "the visible part of a clipped view", { 170, 80 }, HXCursorType::IBeam },
        { "past the superview's edge", { 230, 80 }, HXCursorType::Arrow },
    };
    for (const auto& c : cases)
        EXPECT_EQ(cursorAt(c.base), c.cursor) << c.what;
}

TEST_F(CursorRectsTest, RectanglesFollowTheViews)
{
    auto view = std::make_shared<CursorView>(HXMakeRect(10, 10, 100, 100));
    view->rects = { { HXMakeRect(0, 0, 100, 100), HXCursor::IBeamCursor() } };
    window->contentView()->addSubview(view);
    HXPoint inside { 50, 50 }, later { 250, 50 };
    EXPECT_EQ(cursorAt(inside), HXCursorType::IBeam);
    int resets = view->resets;
    EXPECT_EQ(cursorAt(inside), HXCursorType::IBeam);
    EXPECT_EQ(view->resets, resets) << "rectangles are collected again only after a change";

    view->setFrameOrigin({ 200, 10 });
    EXPECT_EQ(cursorAt(inside), HXCursorType::Arrow) << "moved away";
    EXPECT_EQ(cursorAt(later), HXCursorType::IBeam);
    view->setHidden(true);
    EXPECT_EQ(cursorAt(later), HXCursorType::Arrow) << "hidden";
    view->setHidden(false);
    view->setBoundsOrigin({ 60, 0 });
    EXPECT_EQ(cursorAt(later), HXCursorType::Arrow)
        << "scrolled: the rectangle moved 60 points left, from under the mouse";
    EXPECT_EQ(cursorAt({ 230, 50 }), HXCursorType::IBeam);
    view->removeFromSuperview();
    EXPECT_EQ(cursorAt({ 230, 50 }), HXCursorType::Arrow) << "removed";

    view->rects.clear();
    window->contentView()->addSubview(view);
    window->discardCursorRects();
    EXPECT_FALSE(window->cursorRectsAreValid());
    EXPECT_TRUE(view->cursorRects().empty());
}

TEST_F(CursorRectsTest, TextShowsTheIBeamWhileItCanBeSelected)
{
    auto field = add(std::make_shared<HXTextField>(HXMakeRect(20, 200, 150, 24)));
    auto label = add(HXTextField::labelWithString("Name:", HXMakeRect(20, 160, 150, 24)), nullptr);
    auto text = std::make_shared<HXTextView>(HXMakeRect(200, 20, 150, 100));
    window->contentView()->addSubview(text);

    struct Case {
        const char* what;
        std::shared_ptr<HXView> view;
        HXCursorType cursor;
    };
    const Case cases[] = {
        { "an editable field", field, HXCursorType::IBeam },
        { "a label", label, HXCursorType::Arrow },
        { "a text view", text, HXCursorType::IBeam },
    };
    for (const auto& c : cases)
        EXPECT_EQ(cursorAt(basePoint(*c.view)), c.cursor) << c.what;

    field->setEnabled(false);
    EXPECT_EQ(cursorAt(basePoint(*field)), HXCursorType::Arrow) << "a disabled field";
    field->setEnabled(true);
    field->setSelectable(false);
    EXPECT_EQ(cursorAt(basePoint(*field)), HXCursorType::Arrow) << "a field that cannot be selected";
    text->setEditable(false);
    text->setSelectable(false);
    window->invalidateCursorRectsForView(*text);
    EXPECT_EQ(cursorAt(basePoint(*text)), HXCursorType::Arrow) << "a text view that cannot be selected";
}

TEST_F(CursorRectsTest, MouseMovesSetTheCursor)
{
    auto text = std::make_shared<HXTextView>(HXMakeRect(200, 20, 150, 100));
    window->contentView()->addSubview(text);
    moveMouse({ 250, 50 });
    EXPECT_EQ(shown(), HXCursorType::IBeam);
    EXPECT_EQ(HXCursor::currentCursor(), HXCursor::IBeamCursor());
    moveMouse({ 20, 20 });
    EXPECT_EQ(shown(), HXCursorType::Arrow);
    EXPECT_EQ(HXCursor::currentCursor(), HXCursor::arrowCursor());
}
