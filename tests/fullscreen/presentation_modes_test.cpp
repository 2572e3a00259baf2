// Sizing rules of a presentation: movie classes, the mode of each class, the movie view frame of each mode,
// scale requests, the heads-up toggle's target, and the animated frame change on the manual clock.
#include "fullscreen/presentation_modes.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>

namespace {

FSPresentationMovieShape shape(double w, double h, double seconds = 10, bool linear = true)
{
    return { linear, MVMakeTime(int64_t(seconds * 600), 600), { w, h } };
}

TEST(PresentationModes, MovieClassification)
{
    struct Case {
        const char* name;
        std::optional<FSPresentationMovieShape> movie;
        FSPresentationMovieClass expected;
    };
    const Case cases[] = {
        { "640x480", shape(640, 480), FSPresentationMovieClassStandard },
        { "720x480, exactly 1.5", shape(720, 480), FSPresentationMovieClassStandard },
        { "500x400, exactly 1.25", shape(500, 400), FSPresentationMovieClassStandard },
        { "499x400, just under 1.25", shape(499, 400), FSPresentationMovieClassOther },
        { "721x480, just over 1.5", shape(721, 480), FSPresentationMovieClassWidescreen },
        { "1920x1080", shape(1920, 1080), FSPresentationMovieClassWidescreen },
        { "3000x1000, exactly 3", shape(3000, 1000), FSPresentationMovieClassWidescreen },
        { "3100x1000", shape(3100, 1000), FSPresentationMovieClassOther },
        { "400x400", shape(400, 400), FSPresentationMovieClassOther },
        { "half a second", shape(640, 480, 0.5), FSPresentationMovieClassOther },
        { "exactly one second", shape(640, 480, 1), FSPresentationMovieClassStandard },
        { "not linear", shape(640, 480, 10, false), FSPresentationMovieClassOther },
        { "no movie", std::nullopt, FSPresentationMovieClassNone },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FSPresentationGetMovieClassification(c.movie), c.expected) << c.name;
    EXPECT_EQ(FSPresentationGetMovieClassification(static_cast<const MVMovie*>(nullptr)),
        FSPresentationMovieClassNone);
}

TEST(PresentationModes, ModeForClass)
{
    struct Case {
        const char* name;
        FSPresentationMovieClass movieClass;
        std::map<std::string, HXPropertyList> preferences;
        bool accelerated;
        uint16_t expected;
    };
    const std::map<std::string, HXPropertyList> distinct
        = { { "FullscreenPreferenceStandardSize", HXPropertyList(int64_t(17)) },
              { "FullscreenPreferenceWidescreenSize", HXPropertyList(int64_t(18)) },
              { "FullscreenPreferenceSize", HXPropertyList(int64_t(2)) } };
    auto size = [](HXPropertyList v) {
        return std::map<std::string, HXPropertyList> { { "FullscreenPreferenceSize", v } };
    };
    const Case cases[] = {
        { "standard reads the standard size", FSPresentationMovieClassStandard, distinct, true, 17 },
        { "widescreen reads the widescreen size", FSPresentationMovieClassWidescreen, distinct, true, 18 },
        { "other reads the size", FSPresentationMovieClassOther, distinct, true, 2 },
        { "no movie is letterbox", FSPresentationMovieClassNone, distinct, true, 16 },
        { "missing preference", FSPresentationMovieClassOther, {}, true, 16 },
        { "fit to screen never resolves to itself", FSPresentationMovieClassOther,
            size(HXPropertyList(int64_t(3))), true, 16 },
        { "the no-value marker", FSPresentationMovieClassOther, size(HXPropertyList(int64_t(0xFFFF))), true,
            16 },
        { "-1 is the no-value marker in 16 bits", FSPresentationMovieClassOther,
            size(HXPropertyList(int64_t(-1))), true, 16 },
        { "only the low 16 bits count", FSPresentationMovieClassOther, size(HXPropertyList(int64_t(0x10011))),
            true, 17 },
        { "panoramic where filters keep up", FSPresentationMovieClassOther, size(HXPropertyList(int64_t(19))),
            true, 19 },
        { "panoramic without accelerated filters", FSPresentationMovieClassOther,
            size(HXPropertyList(int64_t(19))), false, 16 },
        { "actual size", FSPresentationMovieClassOther, size(HXPropertyList(int64_t(0))), false, 0 },
    };
    for (const auto& c : cases) {
        auto reader = [&](const std::string& key) {
            auto it = c.preferences.find(key);
            return it == c.preferences.end() ? HXPropertyList() : it->second;
        };
        EXPECT_EQ(FSPresentationGetModeForClass(c.movieClass, reader, c.accelerated), c.expected) << c.name;
    }
}

TEST(PresentationModes, MovieViewFramePerMode)
{
    // A 640 by 480 movie on a 1440 by 900 screen; the user size is 1.5 times the natural size.
    const HXSize natural { 640, 480 }, user { 960, 720 }, screen { 1440, 900 };
    struct Case {
        uint16_t mode;
        HXRect expected;
    };
    const Case cases[] = {
        { 0, { { 400, 210 }, { 640, 480 } } },
        { 1, { { 80, -30 }, { 1280, 960 } } },
        { 2, { { 560, 330 }, { 320, 240 } } },
        { 4, { { 240, 90 }, { 960, 720 } } },
        { 16, { { 120, 0 }, { 1200, 900 } } },
        { 17, { { 0, -90 }, { 1440, 1080 } } },
        { 18, { { 0, 0 }, { 1440, 900 } } },
        { 19, { { 0, 0 }, { 1440, 900 } } },
        { 7, { { 400, 210 }, { 640, 480 } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            FSPresentationCentredFrame(FSPresentationMovieViewSize(c.mode, natural, user, screen), screen),
            c.expected)
            << "mode " << c.mode;
    // A movie without a picture size is not scaled into infinities.
    HXSize none = FSPresentationMovieViewSize(16, { 0, 0 }, { 0, 0 }, screen);
    EXPECT_EQ(none, (HXSize { 0, 0 }));
}

TEST(PresentationModes, ScaleRequests)
{
    const HXSize natural { 640, 480 }, screen { 1440, 900 };
    // Screen over natural size: 2.25 across, 1.875 up.
    struct Case {
        const char* name;
        HXSize scale;
        HXSize userScale;
        std::optional<uint16_t> mode;
        HXRect frame;
    };
    const Case cases[] = {
        { "half", { 0.5, 0.5 }, { 1.5, 1.5 }, 2, {} },
        { "normal, even when the user scale is also 1", { 1, 1 }, { 1, 1 }, 0, {} },
        { "double", { 2, 2 }, { 2, 2 }, 1, {} },
        { "the user's own scale", { 1.5, 1.5 }, { 1.5, 1.5 }, 4, {} },
        { "letterbox", { 1.875, 1.875 }, { 1, 1 }, 16, {} },
        { "crop", { 2.25, 2.25 }, { 1, 1 }, 17, {} },
        { "stretch", { 2.25, 1.875 }, { 1, 1 }, 18, {} },
        { "anything else sizes the view", { 3, 1 }, { 1, 1 }, std::nullopt,
            { { -240, 210 }, { 1920, 480 } } },
    };
    for (const auto& c : cases) {
        auto choice = FSPresentationChooseModeForScale(c.scale, c.userScale, natural, screen);
        EXPECT_EQ(choice.mode, c.mode) << c.name;
        if (!c.mode) {
            EXPECT_EQ(choice.frame, c.frame) << c.name;
        }
    }
}

TEST(PresentationModes, ToggleTarget)
{
    struct Case {
        const char* name;
        uint16_t current;
        HXSize content;
        HXSize display;
        uint16_t expected;
    };
    const Case cases[] = {
        { "from actual size", 0, { 640, 480 }, { 1440, 900 }, 16 },
        { "from panoramic", 19, { 640, 480 }, { 1440, 900 }, 16 },
        { "from fit to screen", 3, { 640, 480 }, { 1440, 900 }, 16 },
        { "narrower movie", 16, { 640, 480 }, { 1440, 900 }, 19 },
        { "wider movie", 16, { 1920, 1080 }, { 1440, 900 }, 17 },
        { "same shape", 16, { 1440, 900 }, { 720, 450 }, 17 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FSPresentationAlternateMode(c.current, c.content, c.display), c.expected) << c.name;
}

TEST(PresentationModes, AnimationDuration)
{
    struct Case {
        HXRect from, to;
        double seconds;
    };
    const Case cases[] = {
        { { { 0, 0 }, { 100, 100 } }, { { 0, 0 }, { 100, 100 } }, 0 },
        { { { 0, 0 }, { 100, 100 } }, { { 100, 0 }, { 100, 100 } }, 0.16728 },
        { { { 0, 0 }, { 100, 100 } }, { { -20, 50 }, { 1100, 40 } }, 0.57869 },
        { { { 500, 0 }, { 100, 100 } }, { { 0, 0 }, { 150, 100 } }, std::log(6.0) * 181 / 750 },
    };
    for (const auto& c : cases)
        EXPECT_NEAR(FSPresentationFrameAnimationDuration(c.from, c.to), c.seconds, 1e-5);
}

TEST(PresentationModes, AnimationStepsEaseAndRoundOutwards)
{
    const HXRect from { { 0, 0 }, { 100, 100 } }, to { { 3, 7 }, { 1101, 303 } };
    EXPECT_EQ(FSPresentationFrameAnimationStep(from, to, 0), from);
    EXPECT_EQ(FSPresentationFrameAnimationStep(from, to, 1), to);
    // Half way sin² is 0.5: x ceil(1.5) = 2, y ceil(3.5) = 4, w floor(600.5) = 600, h floor(201.5) = 201.
    EXPECT_EQ(FSPresentationFrameAnimationStep(from, to, 0.5), (HXRect { { 2, 4 }, { 600, 201 } }));
}

class ManualClockTest : public ::testing::Test {
protected:
    void SetUp() override { HXRunLoop::main().setClock(_clock); }
    void TearDown() override { HXRunLoop::main().setClock(nullptr); }
    std::shared_ptr<HXManualClock> _clock = std::make_shared<HXManualClock>();
};

TEST_F(ManualClockTest, AnimatedFrameChangeFollowsTheClock)
{
    auto superview = std::make_shared<HXView>(HXRect { { 0, 0 }, { 2000, 1000 } });
    auto view = std::make_shared<HXView>(HXRect { { 0, 0 }, { 100, 100 } });
    superview->addSubview(view);
    std::vector<HXRect> steps;
    const double start = _clock->now();
    FSPresentationSetViewFrame(*view, { { 0, 0 }, { 1100, 100 } }, true, HXRunLoop::main(),
        [&](const HXRect& frame) { steps.push_back(frame); });

    const double duration = std::log(11.0) * 181 / 750;
    EXPECT_GE(_clock->now() - start, duration - 0.01);
    EXPECT_LT(_clock->now() - start, duration + 0.02);
    // One step every 10 ms, then the exact final frame.
    ASSERT_GT(steps.size(), 50u);
    EXPECT_LT(steps.size(), 62u);
    const double s = std::pow(std::sin(0.01 / duration * std::numbers::pi / 2), 2);
    EXPECT_EQ(steps.front().size.width, std::floor(s * 1100 + (1 - s) * 100));
    for (size_t i = 1; i < steps.size(); ++i)
        EXPECT_GE(steps[i].size.width, steps[i - 1].size.width) << "step " << i;
    EXPECT_EQ(steps.back(), (HXRect { { 0, 0 }, { 1100, 100 } }));
    EXPECT_EQ(view->frame(), steps.back());
}

TEST_F(ManualClockTest, UnanimatedOrUnchangedFramesAreSetAtOnceAndMadeIntegral)
{
    auto view = std::make_shared<HXView>(HXRect { { 0, 0 }, { 100, 100 } });
    const double start = _clock->now();
    int steps = 0;
    FSPresentationSetViewFrame(
        *view, { { 0.5, 0.5 }, { 10.2, 10.2 } }, false, HXRunLoop::main(), [&](const HXRect&) { ++steps; });
    EXPECT_EQ(view->frame(), (HXRect { { 0, 0 }, { 11, 11 } })) << "origin down, far edge up";
    FSPresentationSetViewFrame(
        *view, { { 0, 0 }, { 11, 11 } }, true, HXRunLoop::main(), [&](const HXRect&) { ++steps; });
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(_clock->now(), start) << "no time passes for an unchanged frame";
}

} // namespace
