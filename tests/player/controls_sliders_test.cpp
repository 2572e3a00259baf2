// Sliders of the player: snapping onto tick marks, the picture slider's knob and its dead ends, the
// titled controls' accessibility, and the shuttle slider that springs back and shuttles its movie.
#include "controls_fixture.h"

#include "document/movie_additions.h"
#include "platform/drawing/image.h"
#include "platform/winkit/accessibility.h"
#include "player/controls/accessibility_titled_text_field.h"
#include "player/controls/detent_slider.h"
#include "player/controls/image_pop_up_button.h"
#include "player/controls/image_slider.h"
#include "player/controls/movie_jog_shuttle.h"
#include "player/controls/movie_jog_shuttle_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

using namespace controls_test;

namespace {

// A detent cell whose knob is a tenth of its track.
class TenthKnobCell : public MVPDetentSliderCell {
public:
    double knobThickness() const override { return trackRect().size.width / 10; }
};

class TenthKnobSlider : public MVPDetentSlider {
public:
    TenthKnobSlider()
        : MVPDetentSlider(std::make_shared<TenthKnobCell>(), HXMakeRect(0, 0, 200, 20))
    {
    }
};

class SlidersTest : public ControlsTest { };

} // namespace

TEST_F(SlidersTest, ValuesNearATickSnapOntoIt)
{
    struct Case {
        const char* name;
        bool detent;
        float onlyAt; // < 0: every tick
        double value;
        double after;
    };
    const Case cases[] = {
        { "near a tick", true, -1, 0.27, 0.25 },
        { "just inside", true, -1, 0.21, 0.25 },
        { "too far", true, -1, 0.19, 0.19 },
        { "near the end", true, -1, 0.97, 1.0 },
        { "detent off", false, -1, 0.27, 0.27 },
        { "only at 0.5: another tick", true, 0.5f, 0.27, 0.27 },
        { "only at 0.5: that tick", true, 0.5f, 0.53, 0.5 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto slider = std::make_shared<TenthKnobSlider>();
        window->contentView()->addSubview(slider);
        slider->setNumberOfTickMarks(5);
        slider->setHasDetent(c.detent);
        if (c.onlyAt >= 0)
            slider->setDetentAtValue(c.onlyAt);
        slider->sliderCell()->setCellFrame(slider->bounds());
        slider->setDoubleValue(c.value);
        slider->detentCell()->snapToDetent(slider.get());
        EXPECT_NEAR(slider->doubleValue(), c.after, 1e-9);
        slider->removeFromSuperview();
    }
    // A circular slider never snaps.
    auto circular = std::make_shared<TenthKnobSlider>();
    circular->setNumberOfTickMarks(5);
    circular->sliderCell()->setSliderType(HXCircularSlider);
    circular->sliderCell()->setCellFrame(circular->bounds());
    circular->setDoubleValue(0.27);
    EXPECT_FALSE(circular->detentCell()->snapToDetent(circular.get()));
}

TEST_F(SlidersTest, DraggingSnapsWhileTracking)
{
    auto slider = std::make_shared<TenthKnobSlider>();
    window->contentView()->addSubview(slider);
    slider->setNumberOfTickMarks(3); // 0, 0.5, 1
    slider->sliderCell()->setCellFrame(slider->bounds());
    // The drag's own value (from the point) is snapped when it lands near the middle tick.
    double middle
        = slider->sliderCell()->trackRect().origin.x + slider->sliderCell()->trackRect().size.width / 2;
    slider->cell()->continueTracking({}, HXPoint { middle + 3, 10 }, *slider);
    EXPECT_DOUBLE_EQ(slider->doubleValue(), 0.5);
}

TEST_F(SlidersTest, ThePictureSliderPlacesItsKnobBetweenItsInsets)
{
    auto slider = std::make_shared<ImageSlider>(HXMakeRect(10, 10, 54, 13));
    window->contentView()->addSubview(slider);
    slider->setKnobImage(HXImage::initWithSize({ 7, 7 }));
    slider->setOffset(13, 2, 0, 0);
    struct Case {
        double value;
        HXRect knob;
    };
    const Case cases[] = {
        { 0, HXMakeRect(13, 3, 7, 7) },
        { 1, HXMakeRect(13 + 32, 3, 7, 7) },
        { 0.5, HXMakeRect(13 + 16, 3, 7, 7) },
    };
    for (const auto& c : cases) {
        slider->setDoubleValue(c.value);
        EXPECT_EQ(slider->imageSliderCell()->knobRectFlipped(false), c.knob) << c.value;
    }
    // An empty range keeps the knob at the start.
    slider->setMaxValue(0);
    EXPECT_EQ(slider->imageSliderCell()->knobRectFlipped(false).origin.x, 13);
}

TEST_F(SlidersTest, PressesOnThePictureSlidersInsetsAreIgnored)
{
    auto slider = std::make_shared<ImageSlider>(HXMakeRect(10, 10, 54, 13));
    window->contentView()->addSubview(slider);
    slider->setKnobImage(HXImage::initWithSize({ 7, 7 }));
    slider->setKnobAlternateImage(HXImage::initWithSize({ 8, 8 }));
    slider->setOffset(13, 2, 0, 0);
    slider->setDoubleValue(0.5);
    auto at = [&](double x) { return slider->convertPointToView({ x, 6 }, nullptr); };
    struct Case {
        double x;
        bool moves;
    };
    for (auto c : { Case { 5, false }, Case { 12.5, false }, Case { 53, false }, Case { 15, true },
             Case { 50, true } }) {
        slider->setDoubleValue(0.5);
        drag(at(c.x), {});
        EXPECT_EQ(slider->doubleValue() != 0.5, c.moves) << c.x;
        EXPECT_FALSE(slider->imageSliderCell()->isMouseTracking());
    }
    // While the knob is dragged it shows its alternate picture.
    EXPECT_TRUE(slider->imageSliderCell()->startTrackingAt({ 30, 6 }, *slider));
    EXPECT_EQ(slider->imageSliderCell()->currentKnobImage(), slider->knobAlternateImage());
    slider->imageSliderCell()->stopTracking({ 30, 6 }, { 30, 6 }, *slider, true);
    EXPECT_EQ(slider->imageSliderCell()->currentKnobImage(), slider->knobImage());
}

TEST_F(SlidersTest, ThePictureSliderLooksActiveInTheKeyWindowOrWhenTold)
{
    auto slider = std::make_shared<ImageSlider>(HXMakeRect(10, 10, 54, 13));
    window->contentView()->addSubview(slider);
    auto bar = HXImage::initWithSize({ 50, 5 }), disabledBar = HXImage::initWithSize({ 50, 4 });
    slider->setBarImage(bar);
    slider->setBarDisabledImage(disabledBar);
    auto cell = slider->imageSliderCell();
    ASSERT_TRUE(window->isKeyWindow());
    EXPECT_EQ(cell->currentBarImage(), bar);
    slider->setEnabled(false);
    EXPECT_EQ(cell->currentBarImage(), disabledBar);
    slider->setEnabled(true);
    window->resignKeyWindow();
    auto other = std::make_shared<HXWindow>(HXMakeRect(600, 100, 100, 100), HXTitledWindowMask);
    other->makeKeyAndOrderFront();
    EXPECT_FALSE(window->isKeyWindow());
    EXPECT_EQ(cell->currentBarImage(), disabledBar);
    slider->setAlwaysActive(true);
    EXPECT_EQ(cell->currentBarImage(), bar);
    // Without a disabled picture the plain one is used.
    slider->setAlwaysActive(false);
    slider->setBarDisabledImage(nullptr);
    EXPECT_EQ(cell->currentBarImage(), bar);
}

TEST_F(SlidersTest, TitledControlsKeepTheirAccessibilityTitle)
{
    auto slider = std::make_shared<AccessibilityTitledSlider>(HXMakeRect(0, 0, 100, 20));
    auto cell = slider->titledCell();
    auto names = HXAccessibility::attributeNames(*slider);
    EXPECT_NE(std::find(names.begin(), names.end(), std::string(HXAccessibilityTitleAttribute)), names.end());
    EXPECT_TRUE(HXAccessibility::setValue(*cell, std::string("Speed"), HXAccessibilityTitleAttribute));
    cell->accessibilitySetValue(HXAccessibilityValue(3.0), HXAccessibilityTitleAttribute);
    EXPECT_EQ(HXAccessibility::attributeValue(*slider, HXAccessibilityTitleAttribute).stringValue(), "Speed")
        << "a title that is not text is ignored";
    EXPECT_EQ(cell->accessibilityTitle(), "Speed");

    auto field = std::make_shared<AccessibilityTitledTextField>(HXMakeRect(0, 0, 100, 20));
    field->titledCell()->accessibilitySetValue(HXAccessibilityValue(7.0), HXAccessibilityTitleAttribute);
    EXPECT_EQ(HXAccessibility::attributeValue(*field, HXAccessibilityTitleAttribute).doubleValue(), 7.0)
        << "a field keeps whatever it is given";

    auto popUp = ImagePopUpButton::imagePopUpButtonWithFrame(HXMakeRect(0, 0, 30, 20));
    auto popUpNames = HXAccessibility::attributeNames(*popUp);
    EXPECT_EQ(std::find(popUpNames.begin(), popUpNames.end(), std::string(HXAccessibilityValueAttribute)),
        popUpNames.end());
    EXPECT_NE(
        std::find(popUpNames.begin(), popUpNames.end(), std::string(HXAccessibilityDescriptionAttribute)),
        popUpNames.end());
    EXPECT_EQ(HXAccessibility::attributeValue(*popUp, HXAccessibilityDescriptionAttribute).stringValue(),
        localized("mvpAXURLPopupButtonValue"));
}

TEST_F(SlidersTest, TheShuttleKnobSpringsBackOnlyWhenTheMouseGoesUp)
{
    auto shuttle = std::make_shared<MVPMovieJogShuttleView>(HXMakeRect(10, 10, 200, 20));
    window->contentView()->addSubview(shuttle);
    shuttle->setMinValue(-1);
    shuttle->setMaxValue(1);
    shuttle->setContinuous(true);
    auto seen = std::make_shared<std::vector<double>>();
    auto target = std::make_shared<HXObject>();
    target->setActionHandler(
        "moved:", [seen, shuttle](HXObject*) { seen->push_back(shuttle->doubleValue()); });
    shuttle->setTarget(target);
    shuttle->setAction("moved:");

    auto cell = shuttle->cell();
    shuttle->setDoubleValue(0.6);
    cell->stopTracking({}, {}, *shuttle, false);
    EXPECT_DOUBLE_EQ(shuttle->doubleValue(), 0.6) << "not while the mouse is still down";
    cell->stopTracking({}, {}, *shuttle, true);
    EXPECT_DOUBLE_EQ(shuttle->doubleValue(), 0);

    // A real drag to the right end: the knob moves with it, then comes back.
    HXPoint middle = shuttle->convertPointToView({ 100, 10 }, nullptr);
    drag(middle, { { middle.x + 40, middle.y }, { middle.x + 150, middle.y } });
    ASSERT_GE(seen->size(), 2u);
    EXPECT_GT(seen->at(seen->size() - 2), 0.5);
    EXPECT_DOUBLE_EQ(seen->back(), 0);
    EXPECT_DOUBLE_EQ(shuttle->doubleValue(), 0);
}

TEST_F(SlidersTest, HoldingTheShuttleStepsKeyFramesOnTheClockAndLettingGoRestoresTheRate)
{
    // One second at 600, key frames at 0, 180, 360 and 540.
    auto movie = keyFrameMovie(600, 10, 60, 3);
    auto shuttle = std::make_shared<MVPMovieJogShuttleView>(HXMakeRect(10, 10, 200, 20));
    window->contentView()->addSubview(shuttle);
    shuttle->setMovie(movie);
    EXPECT_EQ(shuttle->minValue(), -8);
    EXPECT_EQ(shuttle->maxValue(), 8);

    std::vector<std::pair<int64_t, double>> steps;
    double start = clock->now();
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
        MVMovieTimeDidChangeNotification, movie.get(), [&](const HXNotification&) {
            int64_t now = MVTimeInScale(movie->currentTime(), 600).timeValue;
            if (now != (steps.empty() ? 0 : steps.back().first))
                steps.push_back({ now, clock->now() - start });
        }));
    std::vector<bool> forcedWhileStepping;
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
        MVMovieTimeDidChangeNotification, movie.get(), [&](const HXNotification&) {
            forcedWhileStepping.push_back(MVPMovieAdditions::isForcedToAppearToBePlaying(movie));
        }));

    // Pressed, dragged to the right end (8×) and held there: no more events come. Key frames follow one
    // another at the pace of the rate until the end; then the press times out and the knob springs back.
    HXPoint middle = shuttle->convertPointToView({ 100, 10 }, nullptr);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, middle);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, { middle.x + 150, middle.y });
    app->processPendingEvents();

    const std::pair<int64_t, double> expected[] = {
        { 180, 180.0 / 600 / 8 },
        { 360, 360.0 / 600 / 8 },
        { 540, 540.0 / 600 / 8 },
        { 600, 600.0 / 600 / 8 },
    };
    ASSERT_EQ(steps.size(), std::size(expected));
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].first, expected[i].first) << i;
        EXPECT_NEAR(steps[i].second, expected[i].second, 1e-6) << i;
    }
    EXPECT_TRUE(forcedWhileStepping.front()) << "the controls showed the movie as playing";
    EXPECT_FALSE(MVPMovieAdditions::isForcedToAppearToBePlaying(movie));
    EXPECT_DOUBLE_EQ(shuttle->doubleValue(), 0);
    EXPECT_FALSE(shuttle->jogShuttle()->isInUse());
    EXPECT_EQ(movie->rate(), 0.0f) << "it was paused before, and it reached the end";

    // A slow drag on a playing movie: a quarter speed at least while held, the old rate after.
    movie->setCurrentTime(MVMakeTime(300, 600));
    movie->setRate(1);
    std::vector<float> rates;
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(MVMovieRateDidChangeNotification,
        movie.get(), [&](const HXNotification&) { rates.push_back(movie->rate()); }));
    drag(middle, { { middle.x + 1, middle.y } });
    ASSERT_FALSE(rates.empty());
    EXPECT_GT(rates.front(), 0.24f);
    EXPECT_LT(rates.front(), 0.5f);
    EXPECT_EQ(movie->rate(), 1.0f);
}
