// Image buttons: the picture of each state and its fallbacks, clicks and held buttons, the round face,
// presses that lose their mouse-up, and what assistive software reads and does.
#include "controls_fixture.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/color.h"
#include "platform/drawing/image.h"
#include "platform/winkit/accessibility.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

using namespace controls_test;

namespace {

// Counts the actions it gets and whether the sender was pressed at the time.
class Recorder : public HXView {
public:
    Recorder()
    {
        setActionHandler("hit:", [this](HXObject* sender) {
            auto* control = dynamic_cast<HXControl*>(sender);
            presses.push_back(control && control->isHighlighted());
        });
    }
    std::vector<bool> presses; // true: sent on press, false: on release or mouse-up
};

// A view that answers "mute:", like the volume control.
class Muter : public HXView {
public:
    Muter()
    {
        setActionHandler("mute:", [this](HXObject*) { ++mutes; });
    }
    int mutes = 0;
};

// A picture that tells which one it is by its width.
std::shared_ptr<HXImage> picture(double width)
{
    return HXImage::initWithSize({ width, 10 });
}

class ImageButtonTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        recorder = std::make_shared<Recorder>();
        recorder->setFrame(HXMakeRect(0, 0, 400, 120));
        window->contentView()->addSubview(recorder);
        button = std::make_shared<ImageButton>(HXMakeRect(20, 20, 40, 40));
        recorder->addSubview(button);
        button->setTarget(recorder);
        button->setAction("hit:");
    }

    std::shared_ptr<Recorder> recorder;
    std::shared_ptr<ImageButton> button;
};

} // namespace

TEST_F(ImageButtonTest, EachStatePicksItsPictureOrTheNearestOne)
{
    struct Case {
        const char* name;
        std::vector<std::tuple<int, int, bool, double>> set; // value, state, active, picture width
        int value;
        bool enabled;
        bool highlighted;
        bool mainWindow;
        double shown; // 0: none
    };
    const Case cases[] = {
        { "plain", { { 0, 0, true, 1 }, { 0, 1, true, 2 } }, 0, true, false, true, 1 },
        { "pressed", { { 0, 0, true, 1 }, { 0, 1, true, 2 } }, 0, true, true, true, 2 },
        { "disabled inactive, inactive picture", { { 0, -1, true, 3 }, { 0, -1, false, 4 } }, 0, false, false,
            false, 4 },
        { "disabled inactive, active picture only", { { 0, -1, true, 3 } }, 0, false, false, false, 3 },
        { "on without on pictures shows off", { { 0, 0, true, 1 } }, 1, true, false, true, 1 },
        { "on in an inactive window", { { 0, 0, true, 1 } }, 1, true, false, false, 1 },
        { "on with its own picture", { { 0, 0, true, 1 }, { 1, 0, true, 5 } }, 1, true, false, true, 5 },
        { "mixed without a picture", { { 0, 0, true, 1 } }, -1, true, false, true, 0 },
        { "disabled without a picture", { { 0, 0, true, 1 } }, 0, false, false, true, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto set = std::make_shared<MVPButtonImageSet>();
        for (auto [value, state, active, width] : c.set)
            set->setImage(picture(width), value, state, active, false);
        button->setButtonImageSet(set);
        button->setAllowsMixedState(true);
        button->setState(c.value);
        button->setEnabled(c.enabled);
        button->cell()->setHighlighted(c.highlighted);
        setMain(c.mainWindow);
        auto shown = button->imageButtonCell()->image();
        EXPECT_EQ(shown ? shown->size().width : 0, c.shown);
        button->cell()->setHighlighted(false);
    }
}

TEST_F(ImageButtonTest, TheCellReportsTheStateItsPicturesAreKeyedBy)
{
    setMain(true);
    auto cell = button->imageButtonCell();
    EXPECT_EQ(cell->buttonImageState(), (MVPButtonImageState { 0, 0, true, false }));
    cell->setHighlighted(true);
    EXPECT_EQ(cell->buttonImageState().state, 1);
    button->setEnabled(false);
    EXPECT_EQ(cell->buttonImageState().state, -1) << "disabled wins over pressed";
    setMain(false);
    EXPECT_FALSE(cell->buttonImageState().active);
}

TEST_F(ImageButtonTest, TogglingStepsThroughTheStates)
{
    struct Case {
        bool toggles;
        bool mixedAllowed;
        int from;
        int next;
    };
    const Case cases[] = {
        { false, false, HXOnState, HXOnState },
        { false, true, HXOffState, HXOffState },
        { true, false, HXOnState, HXOffState },
        { true, false, HXOffState, HXOnState },
        { true, true, HXOffState, HXMixedState },
        { true, true, HXMixedState, HXOnState },
        { true, true, HXOnState, HXOffState },
    };
    for (const auto& c : cases) {
        button->setToggles(c.toggles);
        button->setAllowsMixedState(c.mixedAllowed);
        button->setState(c.from);
        EXPECT_EQ(button->cell()->nextState(), c.next) << c.toggles << c.mixedAllowed << c.from;
    }
    // A click moves a toggling button on; a plain one keeps its state.
    button->setToggles(true);
    button->setAllowsMixedState(false);
    button->setState(HXOffState);
    click(*button);
    EXPECT_EQ(button->state(), HXOnState);
    button->setToggles(false);
    click(*button);
    EXPECT_EQ(button->state(), HXOnState);
}

TEST_F(ImageButtonTest, AHeldButtonSendsOnPressAndOnReleaseOnly)
{
    button->setSendActionOnHighlightChange(true);
    click(*button);
    EXPECT_EQ(recorder->presses, (std::vector<bool> { true, false }));

    // Dragged out while held: released there; back in: pressed again; let go outside: nothing more.
    recorder->presses.clear();
    HXPoint inside = basePoint(*button);
    HXPoint outside = { inside.x + 200, inside.y };
    drag(inside, { outside, inside, outside });
    EXPECT_EQ(recorder->presses, (std::vector<bool> { true, false, true, false }));

    // A plain button sends once, on mouse-up inside, and not when let go outside.
    button->setSendActionOnHighlightChange(false);
    recorder->presses.clear();
    click(*button);
    drag(inside, { outside });
    EXPECT_EQ(recorder->presses, (std::vector<bool> { false }));
}

TEST_F(ImageButtonTest, APressWhoseMouseUpNeverComesEndsAsAReleaseWithoutAClick)
{
    // The events stop after the press (the pointer went to another program): the press is let go after
    // the time-out instead of waiting for ever, held buttons get their release, and nothing is clicked.
    for (bool held : { true, false }) {
        recorder->presses.clear();
        button->setSendActionOnHighlightChange(held);
        HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, basePoint(*button));
        app->processPendingEvents();
        EXPECT_FALSE(button->isHighlighted());
        std::vector<bool> expected;
        if (held)
            expected = { true, false };
        EXPECT_EQ(recorder->presses, expected) << held;
    }
}

TEST_F(ImageButtonTest, OnlyTheRoundFaceTakesClicks)
{
    button->setFrame(HXMakeRect(20, 20, 40, 30)); // circle of diameter 30 in the middle
    HXPoint origin = button->frame().origin;
    struct Case {
        double x, y;
        bool hitsButton;
    };
    const Case cases[] = {
        { 20, 15, true }, // centre
        { 6, 15, true }, // inside the circle, near its left edge
        { 3, 15, false }, // in the bounds, left of the circle
        { 1, 1, false }, // corner
        { 39, 29, false }, // opposite corner
        { 20, 29, true }, // top of the circle
    };
    for (const auto& c : cases) {
        auto hit = button->hitTest({ origin.x + c.x, origin.y + c.y });
        EXPECT_EQ(hit.get() == button.get(), c.hitsButton) << c.x << "," << c.y;
        if (!c.hitsButton) {
            EXPECT_EQ(hit.get(), recorder.get());
        }
    }
}

TEST_F(ImageButtonTest, SizeIsTheLargestPictureOfTheSet)
{
    EXPECT_EQ(button->cell()->cellSize(), (HXSize { 0, 0 })) << "no set, no size";
    auto set = std::make_shared<MVPButtonImageSet>();
    set->setImage(HXImage::initWithSize({ 30, 12 }), 0, 0, true, false);
    set->setImage(HXImage::initWithSize({ 18, 41 }), 0, 1, true, false);
    button->setButtonImageSet(set);
    EXPECT_EQ(button->cell()->cellSize(), (HXSize { 30, 41 }));
    // Pictures come from the set only.
    button->imageButtonCell()->setImage(HXImage::initWithSize({ 99, 99 }));
    EXPECT_EQ(button->cell()->cellSize(), (HXSize { 30, 41 }));
}

TEST_F(ImageButtonTest, AssistiveSoftwareReadsTitlesAndPressesWithADescription)
{
    auto cell = button->imageButtonCell();
    EXPECT_EQ(
        HXAccessibility::attributeValue(*button, HXAccessibilityRoleAttribute).stringValue(), "AXButton");

    // Set through the cell's own settable attributes; a role description that reads like the title is
    // still stored.
    ASSERT_TRUE(HXAccessibility::setValue(*cell, std::string("Play"), HXAccessibilityTitleAttribute));
    ASSERT_TRUE(
        HXAccessibility::setValue(*cell, std::string("Play"), HXAccessibilityRoleDescriptionAttribute));
    EXPECT_EQ(HXAccessibility::attributeValue(*button, HXAccessibilityTitleAttribute).stringValue(), "Play");
    EXPECT_EQ(HXAccessibility::attributeValue(*button, HXAccessibilityRoleDescriptionAttribute).stringValue(),
        "Play");

    // The press action is listed once and described by its own text; other actions keep theirs.
    auto actions = HXAccessibility::actionNames(*button);
    EXPECT_EQ(std::count(actions.begin(), actions.end(), std::string(HXAccessibilityPressAction)), 1);
    EXPECT_EQ(HXAccessibility::actionDescription(*button, HXAccessibilityPressAction), localized("mvpPress"));
    EXPECT_NE(
        HXAccessibility::actionDescription(*button, HXAccessibilityIncrementAction), localized("mvpPress"));

    // Pressing a button that is not the volume control's clicks it.
    EXPECT_TRUE(HXAccessibility::performAction(*button, HXAccessibilityPressAction));
    EXPECT_EQ(recorder->presses, (std::vector<bool> { false }));

    // Pressing the volume control's button mutes.
    auto muter = std::make_shared<Muter>();
    window->contentView()->addSubview(muter);
    auto speaker = std::make_shared<ImageButton>(HXMakeRect(0, 0, 18, 18));
    muter->addSubview(speaker);
    EXPECT_TRUE(HXAccessibility::performAction(*speaker, HXAccessibilityPressAction));
    EXPECT_EQ(muter->mutes, 1);
}

namespace {

// An image button drawing with its origin at the top.
class FlippedImageButton : public ImageButton {
public:
    using ImageButton::ImageButton;
    bool isFlipped() const override { return true; }
};

// 10 × 10: red above, blue below (as seen upright).
std::shared_ptr<HXImage> redOverBlue()
{
    auto image = HXImage::initWithSize({ 10, 10 });
    image->drawInto([] {
        HXColor::blueColor().setFill();
        HXBezierPath::fillRect(HXMakeRect(0, 0, 10, 5));
        HXColor::redColor().setFill();
        HXBezierPath::fillRect(HXMakeRect(0, 5, 10, 5));
    });
    return image;
}

} // namespace

TEST_F(ImageButtonTest, ThePictureStandsUprightCentredOnWholePixels)
{
    auto set = std::make_shared<MVPButtonImageSet>();
    set->setImage(redOverBlue(), 0, 0, true, false);
    setMain(true);
    for (bool flipped : { false, true }) {
        SCOPED_TRACE(flipped ? "flipped" : "plain");
        auto holder = std::make_shared<HXView>(HXMakeRect(200, 20, 60, 60));
        window->contentView()->addSubview(holder);
        // 21.4 wide: the picture's left edge would fall at 5.7 without rounding.
        HXRect frame = HXMakeRect(0.5, 0, 21.4, 20);
        std::shared_ptr<ImageButton> b
            = flipped ? std::make_shared<FlippedImageButton>(frame) : std::make_shared<ImageButton>(frame);
        holder->addSubview(b);
        b->setButtonImageSet(set);
        HXRect r = b->imageButtonCell()->imageRectForFrame(b->bounds(), b.get());
        HXRect inWindow = b->convertRectToView(r, nullptr);
        EXPECT_EQ(inWindow.origin.x, std::round(inWindow.origin.x));
        EXPECT_EQ(inWindow.origin.y, std::round(inWindow.origin.y));
        EXPECT_NEAR(HXMidX(r), HXMidX(b->bounds()), 0.5);

        window->display();
        // Pixels from the top left of the window's content: red above, blue below.
        HXRect top = inWindow;
        double contentHeight = window->contentView()->bounds().size.height;
        int x = int(HXMidX(top));
        int yTop = int(contentHeight - HXMaxY(top)) + 2, yBottom = int(contentHeight - HXMinY(top)) - 2;
        uint32_t above = window->renderedPixelRGBA(x, yTop), below = window->renderedPixelRGBA(x, yBottom);
        EXPECT_GT(above >> 24, 200u) << std::hex << above; // red
        EXPECT_GT((below >> 8) & 0xFF, 200u) << std::hex << below; // blue
        holder->removeFromSuperview();
    }
}
