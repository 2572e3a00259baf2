// Which screen shows which of the X server's outputs, and which display mirrors which: screens as SDL gives
// them (upside down around the first display's bottom edge) matched to RandR's outputs.
#include "fullscreen/x11_display_services.h"

#include <gtest/gtest.h>

namespace {

HXX11Output output(const char* name, double x, double y, double w, double h)
{
    return { name, HXMakeRect(x, y, w, h), false };
}

// A screen as SDL's backend makes it from an output of an X screen whose first output is `top` high.
HXScreen screenOf(uint32_t number, const HXX11Output& o, double top)
{
    HXRect f = o.frame;
    HXRect flipped = HXMakeRect(f.origin.x, top - HXMaxY(f), f.size.width, f.size.height);
    return HXScreen(number, flipped, flipped);
}

} // namespace

TEST(X11DisplayServices, ScreensMatchTheirOutputsAndMirrorsAreTheLaterOfTwoAtOneCorner)
{
    // 1600 x 1200 with an 800 x 600 to its right (top-aligned), and a third output cloning the first.
    auto a = output("DUMMY0", 0, 0, 1600, 1200), b = output("DUMMY1", 1600, 0, 800, 600),
         c = output("DUMMY2", 0, 0, 1024, 768);
    std::vector<HXScreen> screens = { screenOf(1, a, 1200), screenOf(2, b, 1200), screenOf(3, c, 1200) };
    auto matched = FSMatchScreensToOutputs(screens, { a, b, c });
    ASSERT_EQ(matched.size(), 3u);
    EXPECT_EQ(matched.at(1).name, "DUMMY0");
    EXPECT_EQ(matched.at(2).name, "DUMMY1");
    EXPECT_EQ(matched.at(3).name, "DUMMY2");
    EXPECT_EQ(screens[1].frame().origin.y, 600) << "SDL's upside-down placement";

    struct Case {
        uint32_t display;
        std::optional<uint32_t> mirrors;
    };
    for (auto c : { Case { 1, std::nullopt }, Case { 2, std::nullopt }, Case { 3, 1u }, Case { 9, std::nullopt } })
        EXPECT_EQ(FSMirroredDisplay(c.display, screens, matched), c.mirrors) << c.display;

    // A screen with no output of its place and size (the server changed in between) is left out.
    screens.push_back(HXScreen(4, HXMakeRect(5000, 0, 640, 480), HXMakeRect(5000, 0, 640, 480)));
    EXPECT_EQ(FSMatchScreensToOutputs(screens, { a, b, c }).count(4), 0u);
    EXPECT_TRUE(FSMatchScreensToOutputs({}, { a }).empty());
    EXPECT_TRUE(FSMatchScreensToOutputs(screens, {}).empty());
}

TEST(X11DisplayServices, AScreenWhosePlaceIsToldLateKeepsTheOutputItLastShowed)
{
    // The second output was moved onto the first one's corner; the screen still has its old place.
    auto a = output("DUMMY0", 0, 0, 1600, 1200), moved = output("DUMMY1", 0, 0, 800, 600),
         before = output("DUMMY1", 1600, 0, 800, 600);
    std::vector<HXScreen> screens = { screenOf(1, a, 1200), screenOf(2, before, 1200) };
    EXPECT_EQ(FSMatchScreensToOutputs(screens, { a, moved }).count(2), 0u) << "nothing known before";
    auto matched = FSMatchScreensToOutputs(screens, { a, moved }, { { 2, "DUMMY1" } });
    ASSERT_EQ(matched.count(2), 1u);
    EXPECT_EQ(matched.at(2).frame, moved.frame);
    EXPECT_EQ(FSMirroredDisplay(2, screens, matched), 1u) << "it now mirrors the first";
    EXPECT_EQ(FSMatchScreensToOutputs(screens, { a }, { { 2, "DUMMY1" } }).count(2), 0u) << "its output is gone";
    EXPECT_EQ(FSMatchScreensToOutputs(screens, { a, moved }, { { 2, "DUMMY0" } }).count(2), 0u)
        << "an output another screen shows is not taken twice";
}
