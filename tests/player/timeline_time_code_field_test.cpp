#include "player/timeline/time_code_field.h"

#include "platform/winkit/accessibility.h"

#include "timeline_headless.h"
#include "timeline_test_movies.h"

using namespace movara::test;

namespace {

class RecordingTimeCodeField : public MVPTimeCodeField {
public:
    using MVPTimeCodeField::MVPTimeCodeField;
    void contextMenuWithEvent(const HXEvent& event) override
    {
        (void)event;
        ++menus;
    }
    int menus = 0;
};

class TimeCodeFieldTest : public TimelineHeadlessTest {
protected:
    void SetUp() override
    {
        TimelineHeadlessTest::SetUp();
        field = std::make_shared<RecordingTimeCodeField>(HXMakeRect(10, 5, 100, 15));
        window->contentView()->addSubview(field);
        field->setEditable(true);
        field->setMovie(movie);
    }

    HXEvent click(HXEventType type, double x, int count)
    {
        return HXEvent::mouseEvent(type, HXMakePoint(x, 12), 0, 0, window->windowNumber(), 0, count);
    }

    std::shared_ptr<MVMovie> movie = pictureMovie(600, 20, 1800);
    std::shared_ptr<RecordingTimeCodeField> field;
};

TEST_F(TimeCodeFieldTest, ASingleClickOpensTheMenuAfterTheDoubleClickInterval)
{
    field->mouseDown(click(HXLeftMouseDown, 50, 1));
    EXPECT_EQ(field->menus, 0);
    EXPECT_FALSE(field->isEditing());
    clock->advance(MVPTimeCodeField::kDoubleClickInterval / 2);
    EXPECT_EQ(field->menus, 0);
    clock->advance(MVPTimeCodeField::kDoubleClickInterval);
    EXPECT_EQ(field->menus, 1);
}

TEST_F(TimeCodeFieldTest, ADoubleClickStartsEditingAndNoMenuOpens)
{
    field->mouseDown(click(HXLeftMouseDown, 50, 1));
    field->mouseDown(click(HXLeftMouseDown, 50, 2));
    EXPECT_TRUE(field->isEditing());
    clock->advance(2 * MVPTimeCodeField::kDoubleClickInterval);
    EXPECT_EQ(field->menus, 0);
}

TEST_F(TimeCodeFieldTest, TheArrowsAndTheRightButtonOpenTheMenuAtOnce)
{
    const struct {
        const char* name;
        HXEventType type;
        double x;
    } cases[] = {
        { "the pop-up arrows beside the text", HXLeftMouseDown, 105 },
        { "a right click on the text", HXRightMouseDown, 50 },
    };
    for (const auto& c : cases) {
        field->menus = 0;
        EXPECT_TRUE(field->cellMouseDown(click(c.type, c.x, 1))) << c.name;
        EXPECT_EQ(field->menus, 1) << c.name;
    }
    EXPECT_EQ(field->textRectForBounds(HXMakeRect(0, 0, 100, 15)), HXMakeRect(5, 1, 84, 13));
    field->setEditable(false);
    EXPECT_EQ(field->textRectForBounds(HXMakeRect(0, 0, 100, 15)), HXMakeRect(0, 1, 100, 13));
}

} // namespace

namespace {

TEST_F(TimeCodeFieldTest, TypingInTheEditorMovesTheMovie)
{
    movie->setCurrentTime(MVMakeTime(90 * 600, 600));
    field->timeCodeCell()->chooseFormatter(1);
    field->mouseDown(click(HXLeftMouseDown, 50, 1));
    field->mouseDown(click(HXLeftMouseDown, 50, 2));
    auto editor = field->currentEditor();
    ASSERT_NE(editor, nullptr);
    // Everything selected: typed keys replace the whole text, Return commits.
    field->timeCodeCell()->formatter()->select(0, true);
    EXPECT_FALSE(editor->insertText("2.5."));
    EXPECT_EQ(editor->string(), "2.5.");
    editor->doCommandBySelector(HXSelector("insertNewline:"));
    EXPECT_EQ(MVTimeInScale(movie->currentTime(), 600).timeValue, (2 * 60 + 5) * 600);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(field->timeCodeCell()->formatter()->timeString(), "00:02:05");
}

} // namespace

namespace {

TEST_F(TimeCodeFieldTest, TabAndBackTabSelectTheFirstOrLastField)
{
    movie->setCurrentTime(MVMakeTime(90 * 600, 600));
    field->timeCodeCell()->chooseFormatter(1);
    const struct {
        const char* name;
        char key;
        int start, end;
    } cases[] = {
        { "tab", 9, 0, 1 },
        { "back-tab", 25, 6, 7 },
        { "shift-tab", 'S', 6, 7 },
    };
    window->makeKeyAndOrderFront();
    window->setInitialFirstResponder(field);
    for (const auto& c : cases) {
        window->makeFirstResponder(nullptr);
        EXPECT_FALSE(field->acceptsFirstResponder()) << c.name; // not by a click
        std::string key(1, c.key == 'S' ? '\t' : c.key);
        uint32_t flags = c.key == 'S' ? uint32_t(HXShiftKeyMask) : 0u;
        app->sendEvent(HXEvent::keyEvent(
            HXKeyDown, HXMakePoint(0, 0), flags, 0, window->windowNumber(), key, key, false, 48));
        if (field->isEditing()) {
            EXPECT_EQ(field->timeCodeCell()->formatter()->selectionStart(), c.start) << c.name;
            EXPECT_EQ(field->timeCodeCell()->formatter()->selectionEnd(), c.end) << c.name;
        } else {
            ADD_FAILURE() << c.name << ": the field did not take the focus";
        }
    }
}

TEST_F(TimeCodeFieldTest, SizeFollowsTheLongestTime)
{
    field->timeCodeCell()->chooseFormatter(1);
    int editable = field->naturalWidth();
    EXPECT_GT(editable, 16);
    EXPECT_EQ(field->timeCodeCell()->cellSizeForBounds(HXMakeRect(0, 0, 200, 40)).height, 15);
    field->setEditable(false);
    EXPECT_EQ(field->naturalWidth(), editable - 16);
}

} // namespace

namespace {

TEST_F(TimeCodeFieldTest, ThePopUpFrameShowsWhileTheMouseIsOver)
{
    window->makeKeyAndOrderFront();
    auto cell = field->timeCodeCell();
    EXPECT_FALSE(cell->shouldDrawFrame());
    HXHeadlessWindowServer::postMouse(HXMouseMoved, window, HXMakePoint(50, 12));
    app->processPendingEvents();
    EXPECT_TRUE(cell->shouldDrawFrame());
    field->display(); // draws the frame images (or nothing where an image is missing)
    HXHeadlessWindowServer::postMouse(HXMouseMoved, window, HXMakePoint(250, 30));
    app->processPendingEvents();
    EXPECT_FALSE(cell->shouldDrawFrame());
}

} // namespace

namespace {

TEST_F(TimeCodeFieldTest, PressingTheAccessiblePopUpOpensTheMenu)
{
    auto cell = field->timeCodeCell();
    EXPECT_EQ(cell->accessibilityAttributeValue(HXAccessibilityRoleAttribute).stringValue(),
        HXAccessibilityPopUpButtonRole);
    auto actions = cell->accessibilityActionNames();
    EXPECT_NE(std::find(actions.begin(), actions.end(), HXAccessibilityPressAction), actions.end());
    EXPECT_FALSE(cell->accessibilityActionDescription(HXAccessibilityPressAction).empty());
    cell->accessibilityPerformAction(HXAccessibilityPressAction);
    EXPECT_EQ(field->menus, 1);
}

} // namespace
