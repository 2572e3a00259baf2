// Image views: where the image goes for each scaling and alignment.
#include "controls_fixture.h"

#include "platform/drawing/image.h"
#include "platform/winkit/image_view.h"

class ImageViewTest : public ControlsTest {};

TEST_F(ImageViewTest, ScalingAndAlignmentPlaceTheImage)
{
    struct Case {
        HXSize image;
        HXImageScaling scaling;
        HXImageAlignment alignment;
        HXRect expected;  // in a 100 × 50 view, unflipped
    };
    const Case cases[] = {
        { { 40, 20 }, HXImageScaleProportionallyDown, HXImageAlignCenter, { { 30, 15 }, { 40, 20 } } },
        { { 200, 50 }, HXImageScaleProportionallyDown, HXImageAlignCenter, { { 0, 12.5 }, { 100, 25 } } },
        { { 40, 20 }, HXImageScaleProportionallyUpOrDown, HXImageAlignCenter, { { 0, 0 }, { 100, 50 } } },
        { { 40, 10 }, HXImageScaleAxesIndependently, HXImageAlignCenter, { { 0, 0 }, { 100, 50 } } },
        { { 200, 50 }, HXImageScaleNone, HXImageAlignCenter, { { -50, 0 }, { 200, 50 } } },
        { { 40, 20 }, HXImageScaleNone, HXImageAlignTopLeft, { { 0, 30 }, { 40, 20 } } },
        { { 40, 20 }, HXImageScaleNone, HXImageAlignBottomRight, { { 60, 0 }, { 40, 20 } } },
    };
    for (const auto& c : cases) {
        auto view = add(std::make_shared<HXImageView>(HXMakeRect(10, 10, 100, 50)), nullptr);
        view->setImage(HXImage::initWithSize(c.image));
        view->setImageScaling(c.scaling);
        view->setImageAlignment(c.alignment);
        EXPECT_EQ(view->imageRect(), c.expected) << c.image.width << "x" << c.image.height << " scaling " << c.scaling;
        view->removeFromSuperview();
    }
    auto empty = add(std::make_shared<HXImageView>(HXMakeRect(10, 10, 100, 50)), nullptr);
    EXPECT_TRUE(HXIsEmptyRect(empty->imageRect()));
    empty->setImage(HXImage::initWithSize({ 0, 0 }));
    EXPECT_TRUE(HXIsEmptyRect(empty->imageRect()));
    window->display();  // drawing an empty image view is fine
}
