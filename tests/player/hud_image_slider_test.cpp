// The heads-up sliders: their pictures and look, the long track of the wide ones, and the jog/shuttle
// slider that goes back to the middle when it is let go (and only then).
#include "player/controls/hud_image_slider.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"

#include <gtest/gtest.h>

namespace {

class HUDSliderTest : public ::testing::Test {
protected:
    void SetUp() override { HXHeadlessWindowServer::install(); }
    void TearDown() override { HXApplication::setSharedApplication(nullptr); }
};

TEST_F(HUDSliderTest, LookAndWideTrack)
{
    auto slider = std::make_shared<HUDImageSlider>(HXRect { { 0, 0 }, { 120, 16 } });
    EXPECT_TRUE(std::dynamic_pointer_cast<HUDImageSliderCell>(slider->cell())) << "a cell class of its own";
    EXPECT_TRUE(slider->alwaysActive());
    EXPECT_TRUE(slider->detentCell()->hasDetent());
    EXPECT_EQ(slider->leftOffset(), 0);
    EXPECT_EQ(slider->rightOffset(), 1);
    EXPECT_EQ(slider->knobAlternateImage(), slider->knobImage()) << "the same knob while pressed";
    auto shortTrack = slider->barImage();
    if (!shortTrack)
        GTEST_SKIP() << "the bundle's heads-up pictures are not built";
    slider->setWideSlider();
    ASSERT_TRUE(slider->barImage());
    EXPECT_GT(slider->barImage()->size().width, shortTrack->size().width);
    EXPECT_NE(slider->barDisabledImage(), nullptr);
}

TEST_F(HUDSliderTest, TheShuttleSpringsBackOnlyWhenLetGo)
{
    auto shuttle = std::make_shared<HUDJogShuttleSlider>(HXRect { { 0, 0 }, { 120, 16 } });
    shuttle->setMinValue(-1);
    shuttle->setMaxValue(1);
    auto cell = std::dynamic_pointer_cast<HUDJogShuttleSliderCell>(shuttle->cell());
    ASSERT_TRUE(cell);
    const struct {
        const char* name;
        bool mouseIsUp;
        double expected;
    } cases[] = { { "dragged and still held", false, 0.7 }, { "let go", true, 0 } };
    for (const auto& c : cases) {
        cell->setDoubleValue(0.7);
        cell->stopTracking({ 100, 8 }, { 100, 8 }, *shuttle, c.mouseIsUp);
        EXPECT_EQ(cell->doubleValue(), c.expected) << c.name;
    }
}

} // namespace
