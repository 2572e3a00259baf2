// The heads-up panel and its rounded content view: the panel's look and rules (closing, events offered to
// the delegate first), and the content view's geometry (content rectangle, close button, title, divider
// lines, the outlines of the title bar and body).
#include "player/controls/hud_content_view.h"
#include "player/controls/hud_window.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/menu.h"

#include <gtest/gtest.h>

namespace {

class HUDTest : public ::testing::Test {
protected:
    void SetUp() override { HXHeadlessWindowServer::install(); }
    void TearDown() override { HXApplication::setSharedApplication(nullptr); }
};

struct CloseDelegate : HXWindowDelegate {
    bool answer = true;
    int asked = 0;
    bool windowShouldClose(HXWindow&) override
    {
        ++asked;
        return answer;
    }
};

struct EventDelegate : HXWindowDelegate, HUDWindowEventHandler {
    bool answer = false;
    int offered = 0;
    bool handleEvent(const HXEvent&) override
    {
        ++offered;
        return answer;
    }
};

struct ClickView : HXView {
    using HXView::HXView;
    int clicks = 0;
    void scrollWheel(const HXEvent&) override { ++clicks; }
};

TEST_F(HUDTest, APanelAskedForATitledStyleComesUpBorderlessAndTransparent)
{
    auto panel = std::make_shared<HUDWindow>(
        HXRect { { 100, 100 }, { 300, 200 } }, HXTitledWindowMask | HXClosableWindowMask);
    EXPECT_EQ(panel->styleMask() & ~HXMenuBarWindowMask, unsigned(HXBorderlessWindowMask));
    EXPECT_EQ(panel->backgroundColor(), HXColor::clearColor());
    EXPECT_FALSE(panel->isOpaque());
    EXPECT_TRUE(panel->hasShadow());
    EXPECT_EQ(panel->alphaValue(), 1.0);
    EXPECT_TRUE(panel->isMovableByWindowBackground());
    EXPECT_TRUE(panel->canBecomeKeyWindow());
    EXPECT_TRUE(panel->canBecomeMainWindow());
    HXMenuItem close("Close", HXSelector("performClose:"), "w");
    EXPECT_TRUE(panel->validateMenuItem(close)) << "the Close item is enabled";
}

TEST_F(HUDTest, ClosingAsksTheDelegateElseThePanel)
{
    struct Case {
        const char* name;
        std::optional<bool> delegateAnswer;
        std::optional<bool> ownAnswer;
        bool closes;
    };
    const Case cases[] = {
        { "the delegate says no", false, true, false },
        { "the delegate says yes", true, false, true },
        { "no delegate, the panel says no", std::nullopt, false, false },
        { "no delegate, the panel says yes", std::nullopt, true, true },
        { "nobody to ask", std::nullopt, std::nullopt, true },
    };
    for (const auto& c : cases) {
        auto panel = std::make_shared<HUDWindow>(HXRect { { 0, 0 }, { 100, 100 } });
        auto delegate = std::make_shared<CloseDelegate>();
        if (c.delegateAnswer) {
            delegate->answer = *c.delegateAnswer;
            panel->setDelegate(delegate);
        }
        if (c.ownAnswer)
            panel->windowShouldClose = [answer = *c.ownAnswer](HUDWindow&) { return answer; };
        panel->orderFront();
        panel->performAction(HXSelector("performClose:"), nullptr);
        EXPECT_EQ(!panel->isVisible(), c.closes) << c.name;
    }
}

TEST_F(HUDTest, EventsGoToAnEventHandlingDelegateFirst)
{
    struct Case {
        const char* name;
        bool handlesEvents;
        bool answer;
        int offered, clicks;
    };
    const Case cases[] = {
        { "swallowed", true, true, 1, 0 },
        { "passed on", true, false, 1, 1 },
        { "a delegate without the handler is never asked", false, true, 0, 1 },
    };
    for (const auto& c : cases) {
        auto panel = std::make_shared<HUDWindow>(HXRect { { 0, 0 }, { 100, 100 } });
        auto view = std::make_shared<ClickView>(HXRect { { 0, 0 }, { 100, 100 } });
        panel->setContentView(view);
        panel->orderFront();
        auto events = std::make_shared<EventDelegate>();
        events->answer = c.answer;
        if (c.handlesEvents)
            panel->setDelegate(events);
        else
            panel->setDelegate(std::make_shared<CloseDelegate>());
        panel->sendEvent(HXEvent::scrollEvent({ 50, 50 }, 0, 0, panel->windowNumber(), 0, 1));
        EXPECT_EQ(events->offered, c.offered) << c.name;
        EXPECT_EQ(view->clicks, c.clicks) << c.name;
    }
}

TEST(HUDContentGeometry, ContentRectCloseButtonAndTitle)
{
    struct Case {
        HXSize size;
        unsigned style;
        HXRect content, close, title;
    };
    const HXSize button { 13, 13 }, text { 40, 14 };
    const Case cases[] = {
        { { 200, 100 }, 0, { { 0, 0 }, { 200, 81 } }, { { 3, 84 }, button }, { { 80, 83 }, text } },
        { { 200, 100 }, HUDUtilityWindowMask, { { 0, 0 }, { 200, 86 } }, { { 3, 85 }, button },
            { { 80, 86 }, text } },
        { { 10, 12 }, 0, { { 0, 0 }, { 10, 0 } }, { { 3, -4 }, button }, { { -15, -5 }, text } },
    };
    for (const auto& c : cases) {
        auto view = HUDContentView::initWithFrame({ { 0, 0 }, c.size }, c.style);
        EXPECT_EQ(view->contentRect(), c.content) << c.size.width << " style " << c.style;
        EXPECT_EQ(HUDContentView::closeButtonFrame({ { 0, 0 }, c.size }, button, c.style), c.close);
        EXPECT_EQ(HUDContentView::titleRect(c.size, text, c.style), c.title);
        EXPECT_EQ(view->closeButton()->frame().origin.x, 3) << "placed at once";
        EXPECT_EQ(view->closeButton()->superview(), view);
    }
}

TEST(HUDContentGeometry, OutlinesOfTitleBarAndBody)
{
    EXPECT_EQ(HUDContentView::titleBarPath({ 200, 100 }, 0).bounds(), (HXRect { { 0, 81 }, { 200, 19 } }));
    EXPECT_EQ(HUDContentView::mainBoxPath({ 200, 100 }, 0).bounds(), (HXRect { { 0, 0 }, { 200, 81 } }));
    EXPECT_EQ(HUDContentView::titleBarPath({ 200, 100 }, HUDUtilityWindowMask).bounds(),
        (HXRect { { 0, 86 }, { 200, 14 } }));
    EXPECT_EQ(HUDContentView::mainBoxPath({ 200, 100 }, HUDUtilityWindowMask).bounds(),
        (HXRect { { 0, 0 }, { 200, 86 } }));
    // Regular: a line, two corner curves and the close make up the title bar.
    EXPECT_EQ(HUDContentView::titleBarPath({ 200, 100 }, 0).elementCount(), 7);
}

TEST_F(HUDTest, DividersGoUnderSubviewsAboveTheTitleBand)
{
    auto view = HUDContentView::initWithFrame({ { 0, 0 }, { 200, 300 } });
    auto low = std::make_shared<HXView>(HXRect { { 10, 10 }, { 50, 10 } });
    auto high = std::make_shared<HXView>(HXRect { { 10, 120 }, { 50, 10 } });
    auto button = std::make_shared<HXButton>(HXRect { { 10, 200 }, { 50, 20 } });
    view->addSubview(low);
    view->addSubview(high);
    view->addSubview(button);
    EXPECT_EQ(view->dividerRects(), (std::vector<HXRect> { { { 14, 115 }, { 172, 1 } } }));
    view->setDividedSubViews(false);
    EXPECT_TRUE(view->dividerRects().empty());

    // A narrow panel still draws, and its close button closes it.
    auto panel = std::make_shared<HUDWindow>(HXRect { { 0, 0 }, { 10, 12 } });
    auto narrow = std::make_shared<HUDContentView>(HXRect { { 0, 0 }, { 10, 12 } });
    panel->setContentView(narrow);
    ASSERT_EQ(narrow->closeButton()->superview(), narrow) << "put in with the window";
    panel->setTitle("A title far wider than the panel");
    panel->orderFront();
    panel->display();
    narrow->closeButton()->performClick();
    EXPECT_FALSE(panel->isVisible());
}

} // namespace
