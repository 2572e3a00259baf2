// Heads-up text: the inert label, and the text view's Control-click toggle and selection rules.
#include "player/controls/hud_text.h"
#include "platform/basekit/notification_center.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/headless_window_server.h"

#include <gtest/gtest.h>

namespace {

class HUDTextTest : public ::testing::Test {
protected:
    void SetUp() override { HXHeadlessWindowServer::install(); }
    void TearDown() override { HXApplication::setSharedApplication(nullptr); }
};

HXEvent flags(uint32_t modifiers)
{
    return HXEvent::keyEvent(HXFlagsChanged, {}, modifiers, 0, 0, "", "", false, 0);
}

TEST_F(HUDTextTest, TheLabelIsInert)
{
    HUDTextField field({ { 0, 0 }, { 100, 14 } });
    EXPECT_FALSE(field.isEditable());
    EXPECT_FALSE(field.isSelectable());
    EXPECT_FALSE(field.isBordered());
    EXPECT_FALSE(field.isBezeled()) << "no field frame around the full-screen panel's title";
    EXPECT_FALSE(field.drawsBackground());
}

TEST_F(HUDTextTest, ControlClickPostsOnlyWithTheToggle)
{
    auto view = std::make_shared<HUDTextView>(HXRect { { 0, 0 }, { 100, 40 } });
    view->setString("Some text");
    int posted = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        HUDTextClickedNotification, view.get(), [&](const HXNotification&) { ++posted; });
    auto controlUp = HXEvent::mouseEvent(HXLeftMouseUp, { 5, 5 }, HXControlKeyMask, 0, 0);
    view->mouseUp(controlUp);
    EXPECT_EQ(posted, 0) << "no toggle, nothing posted";
    view->setHasToggle(true);
    view->mouseUp(HXEvent::mouseEvent(HXLeftMouseUp, { 5, 5 }, 0, 0, 0));
    EXPECT_EQ(posted, 0) << "no Control, nothing posted";
    view->mouseUp(controlUp);
    EXPECT_EQ(posted, 1);
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(HUDTextTest, ControlMakesToggleTextUnselectableAndLosingFocusClearsTheSelection)
{
    struct Case {
        bool toggle;
        uint32_t modifiers;
        bool selectable;
    };
    const Case cases[]
        = { { true, HXControlKeyMask, false }, { true, 0, true }, { false, HXControlKeyMask, true } };
    for (const auto& c : cases) {
        HUDTextView view({ { 0, 0 }, { 100, 40 } });
        view.setHasToggle(c.toggle);
        view.flagsChanged(flags(c.modifiers));
        EXPECT_EQ(view.isSelectable(), c.selectable) << c.toggle << " " << c.modifiers;
        view.flagsChanged(flags(0));
        EXPECT_TRUE(view.isSelectable()) << "Control up: selectable again";
    }
    HUDTextView view({ { 0, 0 }, { 100, 40 } });
    view.setString("Some text");
    view.setSelectedRange({ 2, 4 });
    EXPECT_TRUE(view.resignFirstResponder());
    EXPECT_EQ(view.selectedRange().length, 0u);
    EXPECT_EQ(view.selectedRange().location, 0u);
}

} // namespace
