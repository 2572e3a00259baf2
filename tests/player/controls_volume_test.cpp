// The volume control: the speaker's picture by level and mute, the slider per style, muting a recording
// monitor, and the scroll wheel.
#include "controls_fixture.h"

#include "platform/drawing/image.h"
#include "platform/winkit/accessibility.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"
#include "player/controls/image_slider.h"
#include "player/controls/movie_volume_view.h"

#include <gtest/gtest.h>

using namespace controls_test;

namespace {

class Monitor : public MVPVolumeCaptureTarget {
public:
    float volume() const override { return level; }
    void setVolume(float v) override { level = v; }
    float level = 0.8f;
};

class VolumeTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        movie = MVMovie::movie();
    }
    std::shared_ptr<MVPMovieVolumeView> makeView(unsigned style, std::shared_ptr<MVMovie> m)
    {
        auto view = MVPMovieVolumeView::create(HXMakeRect(20, 20, 68, 18), std::move(m), style);
        window->contentView()->addSubview(view);
        return view;
    }
    // The picture the speaker shows in `state` (0 enabled, 1 pressed).
    static std::shared_ptr<HXImage> speaker(const MVPMovieVolumeView& view, int state)
    {
        return view.volumeButton()->buttonImageSet()->imageForValue(0, state, true, false);
    }

    std::shared_ptr<MVMovie> movie;
};

} // namespace

TEST_F(VolumeTest, TheSpeakerShowsTheLevelInFourSteps)
{
    struct Case {
        float level;
        const char* meter;
    };
    const Case cases[] = {
        { -0.1f, "VolumeMeterMute" },
        { 0.0f, "VolumeMeterMute" },
        { 0.01f, "VolumeMeter1" },
        { 0.329f, "VolumeMeter1" },
        { 0.33f, "VolumeMeter2" },
        { 0.659f, "VolumeMeter2" },
        { 0.66f, "VolumeMeter3" },
        { 1.0f, "VolumeMeter3" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPMovieVolumeView::meterImageName(c.level), c.meter) << c.level;

    // On the button: the level's picture, and the muted one while pressed; swapped while muted.
    auto view = makeView(0, movie);
    for (const auto& c : cases) {
        if (c.level < 0)
            continue;
        movie->setVolume(c.level);
        for (bool muted : { false, true }) {
            movie->setMuted(muted);
            auto meter = HXImage::imageNamed(c.meter);
            auto mute = HXImage::imageNamed("VolumeMeterMute");
            ASSERT_TRUE(meter);
            EXPECT_EQ(speaker(*view, 0), muted ? mute : meter) << c.level << " muted " << muted;
            EXPECT_EQ(speaker(*view, 1), muted ? meter : mute) << c.level << " muted " << muted;
            EXPECT_EQ(view->volumeButton()->buttonImageSet()->count(), 2u);
        }
    }
}

TEST_F(VolumeTest, LayoutAndSliderByStyle)
{
    EXPECT_EQ(MVPMovieVolumeView::naturalSize(0), (HXSize { 68, 18 }));
    EXPECT_EQ(MVPMovieVolumeView::naturalSize(1), (HXSize { 54, 13 }));
    EXPECT_EQ(MVPMovieVolumeView::naturalSize(2), (HXSize { 0, 0 }));

    auto window0 = makeView(0, movie);
    ASSERT_TRUE(window0->volumeButton());
    EXPECT_EQ(window0->volumeButton()->frame(), HXMakeRect(0, 0, 18, 18));
    EXPECT_EQ(window0->volumeSlider()->frame(), HXMakeRect(18, -2, 50, 18));

    auto full = MVPMovieVolumeView::create(HXMakeRect(0, 0, 54, 13), movie, 1);
    EXPECT_FALSE(full->volumeButton());
    EXPECT_EQ(full->volumeSlider()->frame(), HXMakeRect(0, 0, 54, 13));
    EXPECT_EQ(full->volumeSlider()->leftOffset(), 13);
    EXPECT_EQ(full->volumeSlider()->rightOffset(), 2);
    EXPECT_EQ(full->volumeSlider()->barImage(), HXImage::imageNamed("FSVolumeBackground"));
    EXPECT_FALSE(full->volumeSlider()->barDisabledImage());

    // Muting disables the window's slider, not the full-screen one.
    movie->setVolume(0.5f);
    movie->setMuted(true);
    EXPECT_FALSE(window0->volumeSlider()->isEnabled());
    EXPECT_TRUE(full->volumeSlider()->isEnabled());
    EXPECT_DOUBLE_EQ(full->volumeSlider()->doubleValue(), 0.5);
    movie->setMuted(false);
    EXPECT_TRUE(window0->volumeSlider()->isEnabled());
}

TEST_F(VolumeTest, TheControlsSetTheMoviesVolumeAndMute)
{
    auto view = makeView(0, movie);
    click(*view->volumeButton());
    EXPECT_TRUE(movie->isMuted());
    click(*view->volumeButton());
    EXPECT_FALSE(movie->isMuted());

    // Dragging the knob to the far right end of the slider.
    auto slider = view->volumeSlider();
    movie->setVolume(0.2f);
    HXPoint knob = slider->convertPointToView(
        { HXMidX(slider->imageSliderCell()->knobRectFlipped(false)), HXMidY(slider->bounds()) }, nullptr);
    drag(knob, { { knob.x + 20, knob.y }, { knob.x + 100, knob.y } });
    EXPECT_FLOAT_EQ(movie->volume(), 1.0f);

    // Assistive software presses the speaker to mute.
    EXPECT_TRUE(HXAccessibility::performAction(*view->volumeButton(), HXAccessibilityPressAction));
    EXPECT_TRUE(movie->isMuted());
    EXPECT_EQ(
        HXAccessibility::attributeValue(*view->volumeButton(), HXAccessibilityTitleAttribute).stringValue(),
        localized("mvpMute"));
    EXPECT_EQ(HXAccessibility::attributeValue(*view->volumeButton(), HXAccessibilityRoleDescriptionAttribute)
                  .stringValue(),
        localized("mvpAXButtonRoleDescription"));
    EXPECT_EQ(
        HXAccessibility::attributeValue(*view->volumeSlider(), HXAccessibilityTitleAttribute).stringValue(),
        localized("mvpVolume"));
}

TEST_F(VolumeTest, MutingARecordingMonitorRestoresExactlyItsVolume)
{
    auto monitor = std::make_shared<Monitor>();
    monitor->level = 0.37f;
    auto view = makeView(2, nullptr);
    view->setCaptureTarget(monitor);
    EXPECT_DOUBLE_EQ(view->volumeSlider()->doubleValue(), double(0.37f));
    view->mute(nullptr);
    EXPECT_EQ(monitor->level, 0.0f);
    EXPECT_FALSE(view->volumeSlider()->isEnabled());
    EXPECT_DOUBLE_EQ(view->volumeSlider()->doubleValue(), double(0.37f))
        << "the slider keeps the saved level";
    EXPECT_EQ(speaker(*view, 0), HXImage::imageNamed("VolumeMeterMute"));
    view->mute(nullptr);
    EXPECT_EQ(monitor->level, 0.37f);
    EXPECT_TRUE(view->volumeSlider()->isEnabled());

    // The slider sets the monitor; with no monitor the buttons do nothing.
    view->volumeSlider()->setDoubleValue(0.9);
    view->adjustVolume(view->volumeSlider().get());
    EXPECT_FLOAT_EQ(monitor->level, 0.9f);
    view->setCaptureTarget(nullptr);
    view->mute(nullptr);
    view->adjustVolume(view->volumeSlider().get());
    EXPECT_DOUBLE_EQ(view->volumeSlider()->doubleValue(), 0.0);
}

TEST_F(VolumeTest, TheWheelMovesTheVolumeByTheLargestAxis)
{
    struct Case {
        float from;
        double dx, dy, dz;
        float to;
    };
    const Case cases[] = {
        { 0.5f, 0, 1, 0, 0.55f }, // one notch up
        { 0.5f, 1, 0, 0, 0.45f }, // horizontal to the right lowers it
        { 0.98f, 0, 1, 0, 1.0f }, // stops at the top
        { 0.02f, 0, -1, 0, 0.0f }, // and at the bottom
        { 0.5f, 1, 2, 0, 0.6f }, // the vertical one is larger
        { 0.5f, 0, 1, -3, 0.65f }, // the depth one is larger still
        { 0.5f, -2, 1, 0, 0.6f }, // the horizontal one is larger
    };
    auto view = makeView(0, movie);
    for (const auto& c : cases) {
        movie->setVolume(c.from);
        auto event = HXEvent::scrollEvent({ 30, 30 }, 0, 0, window->windowNumber(), c.dx, c.dy);
        event.setDeltaZ(c.dz);
        view->scrollWheel(event);
        EXPECT_NEAR(movie->volume(), c.to, 1e-6) << c.from << " " << c.dx << " " << c.dy << " " << c.dz;
    }
    // In the recording window, where there is no movie, the wheel does nothing.
    auto recording = makeView(2, nullptr);
    recording->scrollWheel(HXEvent::scrollEvent({ 30, 30 }, 0, 0, window->windowNumber(), 0, 1));
}
