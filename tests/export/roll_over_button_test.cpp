// The stop button's images: the "over" variants show while the mouse is inside, each only when it exists.
#include "export/roll_over_button.h"
#include "platform/drawing/image.h"

#include <gtest/gtest.h>

namespace {

TEST(RollOverButton, OverImagesFollowTheMouse)
{
    auto plain = HXImage::initWithSize({ 15, 15 });
    auto over = HXImage::initWithSize({ 15, 15 });
    auto pressed = HXImage::initWithSize({ 15, 15 });
    auto pressedOver = HXImage::initWithSize({ 15, 15 });
    struct Case {
        const char* name;
        bool withOver;
        bool withPressedOver;
    };
    const Case cases[] = {
        { "all four images", true, true },
        { "no over images", false, false },
        { "only a plain over image", true, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto button = std::make_shared<RollOverButton>(HXMakeRect(0, 0, 15, 15));
        button->setImage(plain);
        button->setAlternateImage(pressed);
        if (c.withOver)
            button->setImageOver(over);
        if (c.withPressedOver)
            button->setAlternateImageOver(pressedOver);
        EXPECT_EQ(button->shownImage(), plain);
        EXPECT_EQ(button->shownAlternateImage(), pressed);

        button->mouseEntered(HXEvent());
        EXPECT_TRUE(button->isMouseInside());
        EXPECT_EQ(button->shownImage(), c.withOver ? over : plain);
        EXPECT_EQ(button->shownAlternateImage(), c.withPressedOver ? pressedOver : pressed);

        // A plain image set while the mouse is inside waits behind the over image.
        auto replacement = HXImage::initWithSize({ 15, 15 });
        button->setImage(replacement);
        EXPECT_EQ(button->shownImage(), c.withOver ? over : replacement);

        button->mouseExited(HXEvent());
        EXPECT_FALSE(button->isMouseInside());
        EXPECT_EQ(button->shownImage(), replacement);
        EXPECT_EQ(button->shownAlternateImage(), pressed);
    }
}

TEST(RollOverButton, RemovingTheOverImageWhileInsideShowsThePlainOne)
{
    auto plain = HXImage::initWithSize({ 15, 15 });
    auto over = HXImage::initWithSize({ 15, 15 });
    auto button = std::make_shared<RollOverButton>(HXMakeRect(0, 0, 15, 15));
    button->setImage(plain);
    button->setImageOver(over);
    button->mouseEntered(HXEvent());
    EXPECT_EQ(button->shownImage(), over);
    button->setImageOver(nullptr);
    EXPECT_EQ(button->shownImage(), plain);
}

} // namespace
