// Scroll views: scrollers appear when needed, and the wheel, the scroller and keys move the document.
#include "controls_fixture.h"

#include "platform/winkit/scroll_view.h"

namespace {
class FlippedDocument : public HXView {
public:
    using HXView::HXView;
    bool isFlipped() const override { return true; }
};
}  // namespace

class ScrollViewTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        scroll = std::make_shared<HXScrollView>(HXMakeRect(10, 10, 202, 102));
        window->contentView()->addSubview(scroll);
        document = std::make_shared<FlippedDocument>(HXMakeRect(0, 0, 188, 1000));
        scroll->setDocumentView(document);
    }
    double top() const { return scroll->documentVisibleRect().origin.y; }

    std::shared_ptr<HXScrollView> scroll;
    std::shared_ptr<HXView> document;
};

TEST_F(ScrollViewTest, ScrollersShowOnlyWhenTheDocumentIsLarger)
{
    EXPECT_FALSE(scroll->verticalScroller()->isHidden());
    EXPECT_TRUE(scroll->horizontalScroller()->isHidden()) << "no horizontal scroller was asked for";
    EXPECT_EQ(scroll->contentSize(), (HXSize { 188, 100 }));
    EXPECT_DOUBLE_EQ(scroll->verticalScroller()->knobProportion(), 0.1);
    EXPECT_DOUBLE_EQ(top(), 0) << "a flipped document starts at its top";
    document->setFrameSize({ 188, 80 });
    scroll->tile();
    EXPECT_TRUE(scroll->verticalScroller()->isHidden());
    scroll->setAutohidesScrollers(false);
    EXPECT_FALSE(scroll->verticalScroller()->isHidden());
}

TEST_F(ScrollViewTest, WheelKeysAndScrollerMoveTheDocumentWithinItsBounds)
{
    struct Step {
        const char* what;
        std::function<void()> act;
        double top;
    };
    auto wheel = [&](double dy) {
        return [&, dy] {
            app->postEvent(HXEvent::scrollEvent(basePoint(*scroll), 0, 0, window->windowNumber(), 0, dy), false);
            app->processPendingEvents();
        };
    };
    auto press = [&](char32_t c) {
        return [&, c] { scroll->keyDown(HXEvent::keyEvent(HXKeyDown, {}, 0, 0, window->windowNumber(), functionKey(c), functionKey(c), false, HXKeyCodeUnknown)); };
    };
    const Step steps[] = {
        { "wheel down", wheel(-3), 30 },
        { "wheel up past the top", wheel(10), 0 },
        { "page down", press(HXPageDownFunctionKey), 90 },
        { "end", press(HXEndFunctionKey), 900 },
        { "wheel past the end", wheel(-5), 900 },
        { "home", press(HXHomeFunctionKey), 0 },
    };
    for (const auto& s : steps) {
        s.act();
        EXPECT_DOUBLE_EQ(top(), s.top) << s.what;
        EXPECT_NEAR(scroll->verticalScroller()->doubleValue(), s.top / 900, 1e-9) << s.what;
    }
    // Dragging the knob halfway down the track.
    auto scroller = scroll->verticalScroller();
    HXRect knob = scroller->rectForPart(HXScrollerKnob);
    HXPoint from = basePoint(*scroller, { HXMidX(knob), HXMidY(knob) });
    double travel = scroller->bounds().size.height - knob.size.height;
    drag(from, { basePoint(*scroller, { HXMidX(knob), HXMidY(knob) + travel / 2 }) });
    EXPECT_NEAR(top(), 450, 1);
    // A click in the track below the knob pages.
    double before = top();
    click(basePoint(*scroller, { HXMidX(knob), scroller->bounds().size.height - 1 }));
    EXPECT_NEAR(top(), before + 90, 1);
}
