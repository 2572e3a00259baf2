// The zoom between the player window and the full-screen display: the smooth animation on the manual
// clock, interpolated frames, the window-server geometry, the player window's edge rule, and whole zooms
// in and out with headless windows.
#include "fullscreen/presentation_resize_helper.h"
#include "fullscreen/smooth_animation.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

class ManualClock : public ::testing::Test {
protected:
    void SetUp() override { HXRunLoop::main().setClock(_clock); }
    void TearDown() override
    {
        HXRunLoop::main().setClock(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }
    std::shared_ptr<HXManualClock> _clock = std::make_shared<HXManualClock>();
};

struct Recorder : MVPSmoothAnimationDelegate {
    bool allowStart = true;
    std::vector<float> progress;
    int ended = 0, stopped = 0;
    bool smoothAnimationShouldStart(MVPSmoothAnimation&) override { return allowStart; }
    void smoothAnimationDidReachProgress(MVPSmoothAnimation&, float p) override { progress.push_back(p); }
    void smoothAnimationDidEnd(MVPSmoothAnimation&) override { ++ended; }
    void smoothAnimationDidStop(MVPSmoothAnimation&) override { ++stopped; }
};

TEST_F(ManualClock, SmoothAnimationTicksOnlyInTheTrackingMode)
{
    Recorder recorder;
    MVPSmoothAnimation animation(0.5);
    animation.setDelegate(&recorder);
    EXPECT_EQ(animation.frameRate(), 30.0f);
    animation.startAnimation();
    ASSERT_TRUE(animation.isAnimating());

    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.2);
    EXPECT_TRUE(recorder.progress.empty()) << "the default mode does not move it";

    // The first tracking tick counts the time since the start, the default mode's 0.2 s included.
    while (animation.isAnimating())
        HXRunLoop::main().runInMode(HXEventTrackingRunLoopMode, 0.05);
    ASSERT_GE(recorder.progress.size(), 3u);
    for (size_t i = 1; i < recorder.progress.size(); ++i)
        EXPECT_GT(recorder.progress[i], recorder.progress[i - 1]);
    EXPECT_EQ(recorder.progress.back(), 1.0f) << "an overshoot ends at exactly 1";
    EXPECT_EQ(recorder.ended, 1);
    EXPECT_EQ(recorder.stopped, 0);
    EXPECT_FALSE(animation.timer()) << "the timer goes with the end";
    EXPECT_FLOAT_EQ(animation.currentValue(), 1.0f);

    // Starting a finished animation starts from 0 again.
    animation.startAnimation();
    EXPECT_EQ(animation.currentProgress(), 0.0f);
    animation.stopAnimation();
    animation.stopAnimation();
    EXPECT_EQ(recorder.stopped, 1) << "stop tells only a running animation's delegate";
}

TEST_F(ManualClock, SmoothAnimationRules)
{
    Recorder recorder;
    MVPSmoothAnimation animation(1.0);
    animation.setDelegate(&recorder);
    recorder.allowStart = false;
    animation.startAnimation();
    EXPECT_FALSE(animation.isAnimating()) << "the delegate may decline";
    recorder.allowStart = true;

    animation.setCurrentProgress(0.5f);
    animation.setCurrentProgress(0.5f);
    EXPECT_EQ(recorder.progress.size(), 2u) << "every set is told";
    EXPECT_FLOAT_EQ(animation.currentValue(), 0.5f) << "sin² of a quarter turn";

    animation.startAnimation();
    _clock->advance(0.25);
    animation.animationTimer();
    EXPECT_FLOAT_EQ(animation.currentProgress(), 0.75f);
    EXPECT_TRUE(animation.isAnimating());
    _clock->advance(0.25);
    animation.animationTimer();
    EXPECT_EQ(animation.currentProgress(), 1.0f) << "reaching exactly 1 ends";
    EXPECT_FALSE(animation.isAnimating());
    EXPECT_EQ(recorder.ended, 1);
}

TEST(AnimatedFrame, InterpolatesAndClamps)
{
    MVPAnimatedFrame frame({ { 0, 0 }, { 100, 50 } }, { { 100, -50 }, { 300, 50 } });
    struct Case {
        float fraction;
        HXRect expected;
    };
    const Case cases[] = {
        { -0.5f, { { 0, 0 }, { 100, 50 } } },
        { 0, { { 0, 0 }, { 100, 50 } } },
        { 0.5f, { { 50, -25 }, { 200, 50 } } },
        { 1, { { 100, -50 }, { 300, 50 } } },
        { 1.5f, { { 100, -50 }, { 300, 50 } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(frame.frameForAnimationPercentComplete(c.fraction), c.expected) << c.fraction;
    EXPECT_EQ(frame.startFrame(), (HXRect { { 0, 0 }, { 100, 50 } }));
    // The height does not change and says nothing about the progress.
    EXPECT_FLOAT_EQ(frame.animationPercentCompleteForFrame({ { 50, -25 }, { 200, 50 } }), 0.5f);
    EXPECT_FLOAT_EQ(frame.animationPercentCompleteForFrame({ { 80, -25 }, { 260, 50 } }), 0.5f)
        << "the least of them";
    EXPECT_FLOAT_EQ(frame.animationPercentCompleteForFrame({ { 900, -900 }, { 900, 50 } }), 1.0f);
    MVPAnimatedFrame still({ { 1, 2 }, { 3, 4 } }, { { 1, 2 }, { 3, 4 } });
    EXPECT_FLOAT_EQ(still.animationPercentCompleteForFrame({ { 1, 2 }, { 3, 4 } }), 1.0f)
        << "nothing to divide by";
}

TEST(ZoomGeometry, WindowServerRectsAndTransforms)
{
    // First screen 900 high: a rectangle 100 up from the bottom and 200 high starts 600 down from the top.
    EXPECT_EQ(
        FSPresentationServerRect({ { 30, 100 }, { 400, 200 } }, 900), (HXRect { { 30, 600 }, { 400, 200 } }));
    auto t = FSPresentationTransformForRect({ { 30, 100 }, { 400, 200 } }, { 800, 600 }, 900);
    EXPECT_DOUBLE_EQ(t.m11, 2);
    EXPECT_DOUBLE_EQ(t.m22, 3);
    EXPECT_EQ(t.m12, 0);
    EXPECT_EQ(t.m21, 0);
    EXPECT_DOUBLE_EQ(t.tX, -60);
    EXPECT_DOUBLE_EQ(t.tY, -1800);
}

TEST(ZoomGeometry, PlayerWindowKeepsToTheDisplayEdgesItStartedInside)
{
    const HXRect F { { 0, 0 }, { 1440, 900 } };
    struct Case {
        const char* name;
        HXRect r, s0, expected;
    };
    const Case cases[] = {
        { "inside stays", { { 10, 10 }, { 100, 100 } }, { { 20, 20 }, { 50, 50 } },
            { { 10, 10 }, { 100, 100 } } },
        { "left edge", { { -30, 10 }, { 100, 100 } }, { { 20, 20 }, { 50, 50 } },
            { { 0, 10 }, { 100, 100 } } },
        { "bottom edge", { { 10, -30 }, { 100, 100 } }, { { 20, 20 }, { 50, 50 } },
            { { 10, 0 }, { 100, 100 } } },
        { "right edge", { { 1400, 10 }, { 100, 100 } }, { { 20, 20 }, { 50, 50 } },
            { { 1400, 10 }, { 40, 100 } } },
        { "top edge", { { 10, 850 }, { 100, 100 } }, { { 20, 20 }, { 50, 50 } },
            { { 10, 850 }, { 100, 50 } } },
        { "started off the left may stay off", { { -30, 10 }, { 100, 100 } }, { { -60, 20 }, { 50, 50 } },
            { { -30, 10 }, { 100, 100 } } },
        { "started past the top may stay past", { { 10, 850 }, { 100, 100 } }, { { 20, 870 }, { 50, 50 } },
            { { 10, 850 }, { 100, 100 } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FSPresentationClampPlayerFrame(c.r, c.s0, F), c.expected) << c.name;
}

class ZoomTest : public ManualClock {
protected:
    void SetUp() override
    {
        ManualClock::SetUp();
        _server = HXHeadlessWindowServer::install(
            { HXScreen(1, { { 0, 0 }, { 1440, 900 } }, { { 0, 0 }, { 1440, 876 } }) });
        _player = std::make_shared<HXWindow>(HXRect { { 200, 200 }, { 640, 500 } }, HXBorderlessWindowMask);
        _fullScreen = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 1440, 900 } }, HXBorderlessWindowMask);
        _fullScreen->setBackgroundColor(HXColor::blackColor());
        _movieView = std::make_shared<HXView>(HXRect { { 0, 0 }, { 1440, 900 } });
        _fullScreen->setContentView(_movieView);
        _player->orderFront();
        _helper = std::make_unique<FSPresentationResizeHelper>(_fullScreen, _movieView);
        _helper->onStep = [this](const HXRect& player, const HXRect& movie, double alpha) {
            _playerFrames.push_back(player);
            _movieRects.push_back(movie);
            _alphas.push_back(alpha);
        };
    }
    void TearDown() override
    {
        _helper.reset();
        ManualClock::TearDown();
    }
    FSPresentationZoomPlayer player()
    {
        // The player window keeps a 20-point strip under its movie.
        return { _player, [](const HXRect& movie) {
                    return HXRect { { movie.origin.x, movie.origin.y - 20 },
                        { movie.size.width, movie.size.height + 20 } };
                } };
    }

    std::shared_ptr<HXHeadlessWindowServer> _server;
    std::shared_ptr<HXWindow> _player, _fullScreen;
    std::shared_ptr<HXView> _movieView;
    std::unique_ptr<FSPresentationResizeHelper> _helper;
    std::vector<HXRect> _playerFrames, _movieRects;
    std::vector<double> _alphas;
};

const HXRect kMovieInPlayer { { 0, 20 }, { 640, 480 } };
const HXRect kLetterbox { { 120, 0 }, { 1200, 900 } };

TEST_F(ZoomTest, TheWayInGrowsTheMovieToItsPlaceAndFadesTheBackdropIn)
{
    _helper->prepareZoomAnimationWithMovieFrameInPlayerWindow(kMovieInPlayer, player());
    EXPECT_EQ(_fullScreen->frame(), (HXRect { { 200, 220 }, { 640, 480 } })) << "over the movie's old place";
    const double start = _clock->now();
    _helper->zoomMovieToFrame(kLetterbox, { { 0, 0 }, { 1440, 900 } });
    EXPECT_NEAR(_clock->now() - start, 0.5, 0.05);
    EXPECT_EQ(_helper->lastDuration(), 0.5);

    ASSERT_GT(_movieRects.size(), 10u);
    EXPECT_EQ(_movieRects.front(), (HXRect { { 200, 220 }, { 640, 480 } }));
    EXPECT_EQ(_movieRects.back(), kLetterbox);
    EXPECT_EQ(_alphas.front(), 0);
    EXPECT_EQ(_alphas.back(), 1);
    for (size_t i = 1; i < _alphas.size(); ++i)
        EXPECT_GE(_alphas[i], _alphas[i - 1]);
    for (const auto& frame : _playerFrames) {
        EXPECT_GE(frame.origin.x, 0);
        EXPECT_GE(frame.origin.y, 0);
        EXPECT_LE(HXMaxX(frame), 1440);
        EXPECT_LE(HXMaxY(frame), 900);
    }
    EXPECT_EQ(_fullScreen->frame(), (HXRect { { 0, 0 }, { 1440, 900 } }));
    EXPECT_EQ(_movieView->frame(), kLetterbox);
    EXPECT_FALSE(_helper->backgroundWindow()->isVisible()) << "the backdrop goes with the grouping";

    // The next pass puts the player window back, shadow and all.
    EXPECT_FALSE(_player->hasShadow());
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_TRUE(_player->hasShadow());
    EXPECT_EQ(_player->frame(), (HXRect { { 200, 200 }, { 640, 500 } }));
}

TEST_F(ZoomTest, TheWayBackPlaysInReverseAndFadesTheBackdropOut)
{
    _helper->prepareZoomAnimationWithMovieFrameInPlayerWindow(kMovieInPlayer, player());
    _helper->zoomMovieToFrame(kLetterbox, { { 0, 0 }, { 1440, 900 } });
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    _movieRects.clear();
    _alphas.clear();

    EXPECT_TRUE(_helper->restoreMovieToPlayerWindow(player()));
    ASSERT_GT(_alphas.size(), 10u);
    EXPECT_EQ(_alphas.front(), 1);
    EXPECT_EQ(_alphas.back(), 0);
    EXPECT_EQ(_movieRects.front(), kLetterbox);
    EXPECT_EQ(_movieRects.back(), (HXRect { { 200, 220 }, { 640, 480 } }));
    EXPECT_EQ(_fullScreen->frame(), (HXRect { { 200, 220 }, { 640, 480 } }));
    EXPECT_EQ(_movieView->frame(), (HXRect { { 0, 0 }, { 640, 480 } }));
    EXPECT_TRUE(_player->hasShadow());
    EXPECT_FALSE(_helper->isPrepared());

    // A second exit without a new entry has nothing prepared: the caller leaves at once.
    _alphas.clear();
    EXPECT_FALSE(_helper->restoreMovieToPlayerWindow(player()));
    EXPECT_TRUE(_alphas.empty());
}

TEST_F(ZoomTest, NothingToZoomWithoutAPreparedEntryOrAPlayer)
{
    EXPECT_FALSE(_helper->restoreMovieToPlayerWindow(player())) << "an exit with no entry zoom";
    _helper->zoomMovieToFrame(kLetterbox, { { 0, 0 }, { 1440, 900 } });
    EXPECT_TRUE(_movieRects.empty()) << "not prepared";
    _helper->prepareZoomAnimationWithMovieFrameInPlayerWindow(kMovieInPlayer, std::nullopt);
    EXPECT_FALSE(_helper->isPrepared());
    _helper->prepareZoomAnimationWithMovieFrameInPlayerWindow({ { 0, 0 }, { 0, 480 } }, player());
    _helper->zoomMovieToFrame(kLetterbox, { { 0, 0 }, { 1440, 900 } });
    EXPECT_TRUE(_movieRects.empty()) << "no movie rectangle";
}

TEST_F(ZoomTest, ShiftMakesItLastFiveSeconds)
{
    _server->setModifierFlags(HXShiftKeyMask);
    _helper->prepareZoomAnimationWithMovieFrameInPlayerWindow(kMovieInPlayer, player());
    const double start = _clock->now();
    _helper->zoomMovieToFrame(kLetterbox, { { 0, 0 }, { 1440, 900 } });
    EXPECT_EQ(_helper->lastDuration(), 5.0);
    EXPECT_NEAR(_clock->now() - start, 5.0, 0.05);
    EXPECT_EQ(_movieView->frame(), kLetterbox);
}

} // namespace
