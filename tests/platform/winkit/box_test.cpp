// Boxes: where the content view goes for each title position, and sizing a box around its content.
#include "controls_fixture.h"

#include "platform/winkit/box.h"

class BoxTest : public ControlsTest {};

TEST_F(BoxTest, ContentViewSitsInsideTheBorderAndBesideTheTitle)
{
    struct Case {
        HXTitlePosition position;
        std::string title;
        bool titleOnTop;
    };
    for (const auto& c : { Case { HXNoTitle, "Audio", true }, Case { HXAtTop, "Audio", true }, Case { HXAboveTop, "Audio", true },
             Case { HXAtBottom, "Audio", false }, Case { HXAtTop, "", true } }) {
        SCOPED_TRACE(int(c.position));
        auto box = std::make_shared<HXBox>(HXMakeRect(10, 10, 200, 120));
        window->contentView()->addSubview(box);
        box->setTitle(c.title);
        box->setTitlePosition(c.position);
        HXRect content = box->contentView()->frame();
        HXRect border = box->borderRect();
        EXPECT_TRUE(HXContainsRect(border, content));
        HXRect title = box->titleRect();
        if (c.position == HXNoTitle || c.title.empty()) {
            EXPECT_TRUE(HXIsEmptyRect(title));
            EXPECT_EQ(content, HXInsetRect(box->bounds(), 9, 9));
        } else {
            EXPECT_FALSE(HXIntersectsRect(title, content));
            EXPECT_EQ(HXMidY(title) > HXMidY(content), c.titleOnTop);
        }
        // Sizing from a content frame gives that content frame back.
        HXRect wanted = HXMakeRect(30, 40, 150, 60);
        box->setFrameFromContentFrame(wanted);
        EXPECT_EQ(box->contentView()->convertRectToView(box->contentView()->bounds(), window->contentView().get()), wanted);
        box->removeFromSuperview();
    }
}

TEST_F(BoxTest, SizeToFitWrapsTheSubviews)
{
    auto box = std::make_shared<HXBox>(HXMakeRect(0, 0, 300, 300));
    window->contentView()->addSubview(box);
    box->setTitle("Video");
    box->contentView()->addSubview(std::make_shared<HXView>(HXMakeRect(10, 10, 50, 20)));
    box->contentView()->addSubview(std::make_shared<HXView>(HXMakeRect(40, 60, 80, 20)));
    box->sizeToFit();
    for (const auto& sub : box->contentView()->subviews())
        EXPECT_TRUE(HXContainsRect(box->contentView()->bounds(), sub->frame()));
    EXPECT_LT(box->frame().size.width, 300);
    EXPECT_LT(box->frame().size.height, 300);
    // A box with nothing in it keeps its size.
    auto empty = std::make_shared<HXBox>(HXMakeRect(0, 0, 80, 40));
    empty->sizeToFit();
    EXPECT_EQ(empty->frame(), HXMakeRect(0, 0, 80, 40));
}
