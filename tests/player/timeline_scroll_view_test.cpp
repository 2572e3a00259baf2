#include "player/timeline/scroll_view.h"

#include "timeline_headless.h"

#include "platform/winkit/scroll_view.h"

namespace {

class ScrollViewTest : public TimelineHeadlessTest {
protected:
    void SetUp() override
    {
        TimelineHeadlessTest::SetUp();
        content = std::make_shared<HXView>(HXMakeRect(0, 0, 10, 10));
        scroller = MVPScrollView::scrollViewWithFrame(HXMakeRect(0, 0, 200, 20), content, 0);
        window->contentView()->addSubview(scroller);
    }

    // Runs the animation (and any that follow it) to its end.
    void finish()
    {
        for (int i = 0; i < 100 && scroller->isAnimating(); ++i)
            clock->advance(MVPScrollView::kScrollInterval);
    }
    std::string shown() const
    {
        auto field = std::dynamic_pointer_cast<MVPMessageTextField>(scroller->activeView());
        return field ? field->stringValue() : "<content>";
    }

    std::shared_ptr<HXView> content;
    std::shared_ptr<MVPScrollView> scroller;
};

TEST_F(ScrollViewTest, AMessageScrollsUpIntoView)
{
    EXPECT_EQ(content->frame(), HXMakeRect(0, 0, 200, 20));
    scroller->showMessage(true, "Connecting", true);
    auto field = scroller->activeView();
    EXPECT_EQ(field->frame().origin.y, -20);
    clock->advance(MVPScrollView::kScrollInterval);
    EXPECT_EQ(field->frame().origin.y, -18);
    EXPECT_EQ(content->frame().origin.y, 2);
    // Ten steps of two points bring it to rest; the content is hidden.
    for (int i = 0; i < 8; ++i)
        clock->advance(MVPScrollView::kScrollInterval);
    EXPECT_TRUE(scroller->isAnimating());
    EXPECT_EQ(field->frame().origin.y, -2);
    clock->advance(MVPScrollView::kScrollInterval);
    EXPECT_FALSE(scroller->isAnimating());
    EXPECT_EQ(field->frame().origin.y, 0);
    EXPECT_TRUE(content->isHidden());
    EXPECT_EQ(shown(), "Connecting");
}

TEST_F(ScrollViewTest, MessagesAndHidesInTurn)
{
    struct Step {
        bool show;
        const char* text;
        bool scroll;
        bool finishAfter;
        const char* shownAfter; // once everything settled, when finishAfter
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
        const char* finallyShown;
    } cases[] = {
        { "same text twice does not restart",
            { { true, "A", true, true, "A" }, { true, "A", true, false, "A" } }, "A" },
        { "replaced in place without scrolling",
            { { true, "A", true, true, "A" }, { true, "B", false, false, "B" } }, "B" },
        { "a message during an animation follows it",
            { { true, "A", true, false, nullptr }, { true, "B", true, false, nullptr } }, "B" },
        { "the later of two queued messages wins",
            { { true, "A", true, false, nullptr }, { true, "B", true, false, nullptr },
                { true, "C", true, false, nullptr } },
            "C" },
        { "hiding during an animation brings the content back after it",
            { { true, "A", true, false, nullptr }, { false, "", true, false, nullptr } }, "<content>" },
        { "a hide after a queued message is not lost",
            { { true, "A", true, true, "A" }, { false, "", true, false, nullptr },
                { true, "B", true, false, nullptr }, { false, "", true, false, nullptr } },
            "<content>" },
        { "hiding with no message shown does nothing", { { false, "", true, false, nullptr } }, "<content>" },
    };
    for (const auto& c : cases) {
        SetUp();
        for (const auto& s : c.steps) {
            scroller->showMessage(s.show, s.text, s.scroll);
            if (s.finishAfter) {
                finish();
                EXPECT_EQ(shown(), s.shownAfter) << c.name;
            }
        }
        finish();
        EXPECT_EQ(shown(), c.finallyShown) << c.name;
        EXPECT_FALSE(scroller->activeView()->isHidden()) << c.name;
        TearDown();
    }
}

TEST_F(ScrollViewTest, TwoFieldsAreReused)
{
    scroller->showMessage(true, "A", true);
    finish();
    auto first = scroller->activeView();
    scroller->showMessage(true, "B", true);
    finish();
    auto second = scroller->activeView();
    scroller->showMessage(true, "C", true);
    finish();
    EXPECT_NE(first, second);
    EXPECT_EQ(scroller->activeView(), first);
    EXPECT_EQ(scroller->subviews().size(), 3u);
}

TEST_F(ScrollViewTest, LeavingTheWindowEndsTheAnimation)
{
    scroller->showMessage(true, "A", true);
    scroller->showMessage(false, "", true);
    scroller->removeFromSuperview();
    EXPECT_FALSE(scroller->isAnimating());
    EXPECT_EQ(shown(), "<content>");
    EXPECT_EQ(content->frame().origin.y, 0);
    clock->advance(1);
    EXPECT_EQ(content->frame().origin.y, 0);
}

// ---- Keys of scroll views

// A document 1000 points high in a scroll view showing 100 of them, flipped or not.
class FlippableDocument : public HXView {
public:
    FlippableDocument(bool flipped)
        : HXView(HXMakeRect(0, 0, 200, 1000))
        , _flipped(flipped)
    {
    }
    bool isFlipped() const override { return _flipped; }

private:
    bool _flipped;
};

TEST(ScrollViewKeyBindingTest, KeysMoveTowardsTheDocumentsEndEitherWay)
{
    using namespace MVPScrollViewKeyBinding;
    struct Step {
        const char* name;
        void (*key)(HXScrollView&);
        double flippedY, unflippedY; // the visible area's origin after the key
    };
    // Pages keep 10 points of the last page; lines are 10 points.
    const Step steps[] = {
        { "page down", scrollPageDown, 90, 810 },
        { "line down", scrollLineDown, 100, 800 },
        { "page up", scrollPageUp, 10, 890 },
        { "line up", scrollLineUp, 0, 900 },
        { "line up at the start stays", scrollLineUp, 0, 900 },
        { "end", scrollToEndOfDocument, 900, 0 },
        { "page down at the end stays", scrollPageDown, 900, 0 },
        { "beginning", scrollToBeginningOfDocument, 0, 900 },
    };
    for (bool flipped : { true, false }) {
        auto scrollView = std::make_shared<HXScrollView>(HXMakeRect(0, 0, 200, 100));
        scrollView->setDrawsBorder(false);
        scrollView->setHasVerticalScroller(false);
        scrollView->setDocumentView(std::make_shared<FlippableDocument>(flipped));
        scrollToBeginningOfDocument(*scrollView);
        for (const auto& step : steps) {
            SCOPED_TRACE(std::string(step.name) + (flipped ? ", flipped" : ", not flipped"));
            step.key(*scrollView);
            EXPECT_EQ(
                scrollView->contentView()->bounds().origin.y, flipped ? step.flippedY : step.unflippedY);
        }
    }
}

TEST(ScrollViewKeyBindingTest, TheKeysAreActionsOfTheScrollView)
{
    auto scrollView = std::make_shared<HXScrollView>(HXMakeRect(0, 0, 200, 100));
    scrollView->setDrawsBorder(false);
    scrollView->setHasVerticalScroller(false);
    scrollView->setDocumentView(std::make_shared<FlippableDocument>(true));
    MVPScrollViewKeyBinding::install(*scrollView);
    EXPECT_TRUE(scrollView->tryToPerform(HXSelector("scrollToEndOfDocument:"), nullptr));
    EXPECT_EQ(scrollView->contentView()->bounds().origin.y, 900);
    EXPECT_TRUE(scrollView->tryToPerform(HXSelector("scrollPageUp:"), nullptr));
    EXPECT_EQ(scrollView->contentView()->bounds().origin.y, 810);
}

} // namespace
