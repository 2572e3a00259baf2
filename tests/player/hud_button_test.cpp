// The heads-up push button: where its caps, fill tiles and interior go, and its title's colour.
#include "player/controls/hud_button.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include "platform/drawing/bitmap_image_rep.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(HUDButtonLayout, CapsFillAndInterior)
{
    struct Case {
        const char* name;
        HXRect frame;
        bool flipped;
        HXPoint left, right;
        std::vector<HXRect> tiles;
    };
    const HXSize leftCap { 6, 20 }, rightCap { 7, 20 }, fill { 16, 20 };
    const Case cases[] = {
        { "tiles with the last one cut", { { 10, 5 }, { 100, 20 } }, false, { 10, 5 }, { 103, 5 },
            { { { 16, 5 }, { 16, 20 } }, { { 32, 5 }, { 16, 20 } }, { { 48, 5 }, { 16, 20 } },
                { { 64, 5 }, { 16, 20 } }, { { 80, 5 }, { 16, 20 } }, { { 96, 5 }, { 7, 20 } } } },
        { "flipped views draw from the far edge", { { 0, 0 }, { 45, 20 } }, true, { 0, 20 }, { 38, 20 },
            { { { 6, 20 }, { 16, 20 } }, { { 22, 20 }, { 16, 20 } } } },
        { "narrower than its caps: no fill", { { 10, 5 }, { 10, 20 } }, false, { 10, 5 }, { 13, 5 }, {} },
    };
    for (const auto& c : cases) {
        auto layout = HUDButtonCellLayout(c.frame, leftCap, rightCap, fill, c.flipped);
        EXPECT_EQ(layout.leftCap, c.left) << c.name;
        EXPECT_EQ(layout.rightCap, c.right) << c.name;
        EXPECT_EQ(layout.fillTiles, c.tiles) << c.name;
        EXPECT_EQ(layout.interior,
            (HXRect { { c.frame.origin.x + 1, c.frame.origin.y + 1 },
                { c.frame.size.width - 2, c.frame.size.height + 4 } }))
            << c.name;
    }
    EXPECT_TRUE(
        HUDButtonCellLayout({ { 0, 0 }, { 50, 20 } }, leftCap, rightCap, { 0, 0 }, false).fillTiles.empty())
        << "a fill without width is not tiled";
}

TEST(HUDButtonLayout, TheTitleIsWhiteWhenEnabledAndGreyWhenNot)
{
    HXHeadlessWindowServer::install();
    auto window = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 200, 100 } }, HXBorderlessWindowMask);
    auto button = std::make_shared<HUDButton>(HXRect { { 10, 10 }, { 80, 20 } }, "Done");
    window->setBackgroundColor(HXColor::blackColor());
    window->contentView()->addSubview(button);
    ASSERT_TRUE(std::dynamic_pointer_cast<HUDButtonCell>(button->cell()));
    EXPECT_EQ(button->title(), "Done");
    window->display();
    EXPECT_EQ(button->cell()->textColor(), HXColor::whiteColor());
    // The title is drawn in that colour: light strokes over the dark caps.
    auto rep = window->renderedImageRep();
    ASSERT_TRUE(rep);
    double lightest = 0;
    for (int x = 0; x < rep->pixelsWide(); ++x)
        for (int y = 0; y < rep->pixelsHigh(); ++y)
            if (auto c = rep->colorAtX(x, y))
                lightest = std::max(lightest, c->whiteComponent() * c->alphaComponent());
    EXPECT_GT(lightest, 0.8) << "white title strokes";
    button->setEnabled(false);
    window->display();
    EXPECT_EQ(button->cell()->textColor(), HXColor::grayColor());
    HXApplication::setSharedApplication(nullptr);
}

} // namespace
