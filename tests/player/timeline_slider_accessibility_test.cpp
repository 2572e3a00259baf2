// The timeline slider as assistive software sees it: the track is a timeline slider whose children are the
// knobs' value indicators; each tells its time in seconds and in words, steps, and takes values and focus.
#include "core/preferences.h"
#include "platform/basekit/bundle.h"
#include "platform/winkit/accessibility.h"
#include "player/timeline/slider_accessibility.h"
#include "player/timeline/slider_playhead_button.h"
#include "player/timeline/slider_rect_view.h"
#include "player/timeline/slider_selection_marker_button.h"

#include "timeline_slider_fixture.h"
#include "timeline_test_movies.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

TEST(SliderSpokenTime, WordsAndClock)
{
    const struct {
        MVTime time;
        float rate;
        const char* spoken;
        const char* clock;
    } cases[] = {
        { MVMakeTime(654, 10), 25, " 1 minute 5 seconds and  10 frames", "00:01:05.10/25" },
        { MVMakeTime(0, 600), 25, " 0 frame", "00:00:00.00/25" },
        { MVMakeTime(3600, 1), 30, " 1 hour 0 frame", "01:00:00.00/30" },
        { MVMakeTime(31, 30), 30, " 1 second and  1 frame", "00:00:01.01/30" },
        { MVMakeTime(120, 1), 30, " 2 minutes 0 frame", "00:02:00.00/30" },
        { MVMakeTime(7322, 1), 30, " 2 hours 2 minutes 2 seconds and  0 frame", "02:02:02.00/30" },
        // 23.976 counts 23 frames a second; none or a negative rate counts 30 (and the clock shows no rate).
        { MVMakeTime(1200 + 300, 600), 23.976f, " 2 seconds and  11 frames", "00:00:02.11/23" },
        { MVMakeTime(654, 10), 0, " 1 minute 5 seconds and  12 frames", "00:01:05.12" },
        { MVMakeTime(654, 10), -2, " 1 minute 5 seconds and  12 frames", "00:01:05.12" },
        // A slide show below one frame a second counts one, rather than dividing by zero.
        { MVMakeTime(5, 1), 0.5f, " 5 seconds and  0 frame", "00:00:05.00/01" },
        // A time without a scale (a display without a movie) and a time before zero read as zero.
        { MVMakeTime(90, 0), 25, " 0 frame", "00:00:00.00/25" },
        { MVMakeTime(-600, 600), 25, " 0 frame", "00:00:00.00/25" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MVPAccessibilityTimeInfoString(c.time, c.rate, true), c.spoken) << c.clock;
        EXPECT_EQ(MVPAccessibilityTimeInfoString(c.time, c.rate, false), c.clock) << c.spoken;
    }
    EXPECT_EQ(MVPAccessibilityCurrentTimeDescription(MVMakeTime(654, 10), 25),
        " 1 minute 5 seconds and  10 frames");
    EXPECT_EQ(MVPAccessibilityDurationDescription(MVMakeTime(654, 10)), " 1 minute 5 seconds and  12 frames");
    // A huge time neither overflows nor crashes.
    EXPECT_FALSE(MVPAccessibilityTimeInfoString(MVMakeTime(INT64_MAX, 1), 30, true).empty());
}

class SliderAccessibilityTest : public SliderTest {
protected:
    void SetUp() override
    {
        SliderTest::SetUp();
        source.boundMovie = pictureMovie(600, 60, 100); // 10 s at 10 frames a second
        source.current = 0.5;
        source.start = 0.2;
        source.end = 0.6;
    }
    static HXAccessibilityValue value(HXObject& element, const char* attribute)
    {
        return HXAccessibility::attributeValue(element, attribute);
    }
};

TEST_F(SliderAccessibilityTest, ElementsWithEditing)
{
    makeSlider(true);
    auto track = slider->accessibilityTimeLineView();
    auto playhead = slider->playHeadButton();
    auto start = slider->selectionStartMarkerButton();
    auto end = slider->selectionEndMarkerButton();

    EXPECT_EQ(value(*track, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilitySliderRole);
    EXPECT_EQ(value(*track, HXAccessibilitySubroleAttribute).stringValue(), "AXTimeline");
    EXPECT_EQ(value(*track, HXAccessibilityOrientationAttribute).stringValue(),
        HXAccessibilityHorizontalOrientationValue);
    EXPECT_EQ(
        value(*track, HXAccessibilityParentAttribute).element(), std::static_pointer_cast<HXObject>(window));
    EXPECT_EQ(value(*track, HXAccessibilityChildrenAttribute).elements(),
        (HXAccessibilityValue::Elements { playhead, start, end }));
    EXPECT_FALSE(HXAccessibility::isIgnored(*track));
    auto names = HXAccessibility::attributeNames(*track);
    for (const char* name : { "AXSubrole", "AXValueDescription", "AXDescription", "AXValue", "AXMinValue",
             "AXMaxValue", "AXOrientation", "AXEnabled" })
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;

    const struct {
        std::shared_ptr<HXObject> element;
        const char* role;
        double value, max;
        const char* spoken;
        const char* help;
        const char* description;
    } cases[] = {
        { track, HXAccessibilitySliderRole, 10, 10, " 5 seconds and  0 frame", "mvpTimeLineHelp",
            "mvpTimeLine" },
        { playhead, HXAccessibilityValueIndicatorRole, 5, 10, " 5 seconds and  0 frame", "mvpCurrentTimeHelp",
            "mvpCurrentTime" },
        { start, HXAccessibilityValueIndicatorRole, 2, 10, " 2 seconds and  0 frame", "mvpSelectionStartHelp",
            "mvpSelectionStart" },
        { end, HXAccessibilityValueIndicatorRole, 6, 10, " 6 seconds and  0 frame", "mvpSelectionEndHelp",
            "mvpSelectionEnd" },
    };
    for (const auto& c : cases) {
        auto& e = *c.element;
        EXPECT_EQ(value(e, HXAccessibilityRoleAttribute).stringValue(), c.role) << c.description;
        EXPECT_DOUBLE_EQ(value(e, HXAccessibilityValueAttribute).doubleValue(), c.value) << c.description;
        EXPECT_DOUBLE_EQ(value(e, HXAccessibilityMinValueAttribute).doubleValue(), 0) << c.description;
        EXPECT_DOUBLE_EQ(value(e, HXAccessibilityMaxValueAttribute).doubleValue(), c.max) << c.description;
        EXPECT_EQ(value(e, "AXValueDescription").stringValue(), c.spoken) << c.description;
        EXPECT_EQ(value(e, HXAccessibilityHelpAttribute).stringValue(),
            HXBundle::mainBundle()->localizedStringForKey(c.help))
            << c.description;
        EXPECT_EQ(value(e, HXAccessibilityDescriptionAttribute).stringValue(),
            HXBundle::mainBundle()->localizedStringForKey(c.description))
            << c.description;
        EXPECT_TRUE(value(e, HXAccessibilityEnabledAttribute).boolValue()) << c.description;
        EXPECT_TRUE(HXAccessibility::isAttributeSettable(e, HXAccessibilityValueAttribute)) << c.description;
        EXPECT_TRUE(HXAccessibility::isAttributeSettable(e, HXAccessibilityFocusedAttribute))
            << c.description;
        EXPECT_FALSE(HXAccessibility::isAttributeSettable(e, HXAccessibilityMaxValueAttribute))
            << c.description;
        auto actions = HXAccessibility::actionNames(e);
        EXPECT_NE(std::find(actions.begin(), actions.end(), HXAccessibilityIncrementAction), actions.end());
        EXPECT_NE(std::find(actions.begin(), actions.end(), HXAccessibilityDecrementAction), actions.end());
        EXPECT_EQ(HXAccessibility::actionDescription(e, HXAccessibilityIncrementAction),
            HXBundle::mainBundle()->localizedStringForKey("mvpIncrement"));
        if (c.element != track) {
            EXPECT_FALSE(HXAccessibility::isIgnored(e)) << c.description;
            EXPECT_EQ(value(e, HXAccessibilityParentAttribute).element(),
                std::static_pointer_cast<HXObject>(track));
            EXPECT_TRUE(value(e, HXAccessibilityChildrenAttribute).elements().empty());
        }
    }
}

TEST_F(SliderAccessibilityTest, WithoutEditingOnlyTheTrackShows)
{
    makeSlider(false);
    auto track = slider->accessibilityTimeLineView();
    EXPECT_DOUBLE_EQ(value(*track, HXAccessibilityValueAttribute).doubleValue(), 5) << "the current time";
    EXPECT_TRUE(HXAccessibility::isIgnored(*slider->playHeadButton()));
    EXPECT_EQ(value(*track, HXAccessibilityChildrenAttribute).elements().size(), 1u);
}

TEST_F(SliderAccessibilityTest, SettingValuesAndStepping)
{
    makeSlider(true);
    auto track = slider->accessibilityTimeLineView();
    auto start = slider->selectionStartMarkerButton();
    auto end = slider->selectionEndMarkerButton();
    std::vector<const void*> changed;
    auto token = HXNotificationCenter::defaultCenter().addObserver(HXAccessibilityValueChangedNotification,
        nullptr, [&](const HXNotification& n) { changed.push_back(n.object()); });

    const struct {
        std::shared_ptr<HXObject> element;
        std::function<void(HXObject&)> act;
        const char* call;
    } cases[] = {
        { start, [](HXObject& e) { HXAccessibility::setValue(e, 12.5, HXAccessibilityValueAttribute); },
            "setSelectionStart 12500000/1000000" },
        { end, [](HXObject& e) { HXAccessibility::setValue(e, 3.0, HXAccessibilityValueAttribute); },
            "setSelectionEnd 3000000/1000000" },
        { track, [](HXObject& e) { HXAccessibility::setValue(e, 1.5, HXAccessibilityValueAttribute); },
            "setCurrentTime 1500000/1000000" },
        { track, [](HXObject& e) { HXAccessibility::performAction(e, HXAccessibilityIncrementAction); },
            "stepForward" },
        { slider->playHeadButton(),
            [](HXObject& e) { HXAccessibility::performAction(e, HXAccessibilityDecrementAction); },
            "stepBackward" },
        { start, [](HXObject& e) { HXAccessibility::performAction(e, HXAccessibilityIncrementAction); },
            "stepSelectionStartForward" },
        { end, [](HXObject& e) { HXAccessibility::performAction(e, HXAccessibilityDecrementAction); },
            "stepSelectionEndBackward" },
    };
    for (const auto& c : cases) {
        source.calls.clear();
        changed.clear();
        c.act(*c.element);
        EXPECT_EQ(source.calls, (std::vector<std::string> { c.call })) << c.call;
        EXPECT_NE(std::find(changed.begin(), changed.end(), static_cast<const void*>(c.element.get())),
            changed.end())
            << c.call << ": the element tells that its value changed";
    }
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(SliderAccessibilityTest, FocusingAHiddenMarkerFadesItIn)
{
    MVPPreferences::preferences().setPreference(HXPropertyList(true), kGeneralHideSelectionIndicators, true);
    source.start = source.end = 0.3;
    server->setMouseLocation({ 3000, 3000 });
    makeSlider(true);
    auto start = slider->selectionStartMarkerButton();
    auto end = slider->selectionEndMarkerButton();
    ASSERT_TRUE(start->isHidden());
    EXPECT_FALSE(HXAccessibility::attributeValue(*start, HXAccessibilityFocusedAttribute).boolValue());
    HXAccessibility::setValue(*start, true, HXAccessibilityFocusedAttribute);
    EXPECT_EQ(window->firstResponder(), std::static_pointer_cast<HXResponder>(start));
    EXPECT_TRUE(HXAccessibility::attributeValue(*start, HXAccessibilityFocusedAttribute).boolValue());
    clock->advance(0.05);
    EXPECT_FALSE(start->isHidden());
    EXPECT_FALSE(end->isHidden());
    clock->advance(0.25);
    EXPECT_GE(start->alphaValue(), 1.0f);
    MVPPreferences::preferences().setPreference(HXPropertyList(false), kGeneralHideSelectionIndicators, true);
}

TEST_F(SliderAccessibilityTest, TheTrackCoversItsKnobsAndFindsThem)
{
    makeSlider(true);
    auto track = slider->accessibilityTimeLineView();
    auto playhead = slider->playHeadButton();
    // Knobs 13 × 12 (playhead) and 9 × 13 (markers) overhang the 284 × 8 track by half their size.
    EXPECT_EQ(
        value(*track, HXAccessibilitySizeAttribute).sizeValue(), (HXSize { 284 + 6.5 + 6.5, 8 + 6.5 + 6 }));
    HXPoint origin = window->convertBaseToScreen(track->convertPointToView({ 0, 0 }, nullptr));
    EXPECT_EQ(value(*track, HXAccessibilityPositionAttribute).pointValue(),
        (HXPoint { origin.x - 6.5, origin.y - 6.5 }));
    HXPoint knob = window->convertBaseToScreen(slider->convertPointToView(playhead->frame().origin, nullptr));
    EXPECT_EQ(value(*playhead, HXAccessibilityPositionAttribute).pointValue(), knob);
    EXPECT_EQ(value(*playhead, HXAccessibilitySizeAttribute).sizeValue(), (HXSize { 13, 12 }));

    auto screen
        = [&](HXPoint p) { return window->convertBaseToScreen(slider->convertPointToView(p, nullptr)); };
    EXPECT_EQ(
        HXAccessibility::hitTest(*track, screen({ 150, 10 })), std::static_pointer_cast<HXObject>(playhead));
    EXPECT_EQ(HXAccessibility::hitTest(*track, screen({ 64, 3 })),
        std::static_pointer_cast<HXObject>(slider->selectionStartMarkerButton()));
    EXPECT_EQ(
        HXAccessibility::hitTest(*track, screen({ 100, 10 })), std::static_pointer_cast<HXObject>(track));
}

TEST_F(SliderAccessibilityTest, AKnobInAFlippedViewReportsItsBottomLeftCorner)
{
    struct Flipped : HXView {
        using HXView::HXView;
        bool isFlipped() const override { return true; }
    };
    auto holder = std::make_shared<Flipped>(HXMakeRect(0, 0, 100, 30));
    window->contentView()->addSubview(holder);
    auto marker = MVPSliderSelectionStartMarkerButton::sliderSelectionStartMarkerButtonWithFrame(
        HXMakeRect(10, 5, 9, 13), &source);
    holder->addSubview(marker);
    // 5 to 18 points from the top of a 30-point view: the bottom edge is 12 points above its bottom.
    HXPoint expected
        = window->convertBaseToScreen(window->contentView()->convertPointToView({ 10, 12 }, nullptr));
    EXPECT_EQ(value(*marker, HXAccessibilityPositionAttribute).pointValue(), expected);
    EXPECT_EQ(value(*marker, HXAccessibilitySizeAttribute).sizeValue(), (HXSize { 9, 13 }));
    EXPECT_TRUE(HXAccessibility::isIgnored(*marker)) << "outside a slider it is no part of a timeline";
    holder->removeFromSuperview();
}

} // namespace
