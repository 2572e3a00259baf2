// The timeline slider in a headless window with a media source that notes its calls: the parts a rebuild
// makes, where clicks go, dragging and stepping the knobs, the selection indicators' hover and fades on
// the manual clock, scrubbing the track, dragging the selection out and drops.
#include "core/preferences.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/pasteboard.h"
#include "player/timeline/slider_drag_indicator_view.h"
#include "player/timeline/slider_playhead_button.h"
#include "player/timeline/slider_rect_view.h"
#include "player/timeline/slider_selection_marker_button.h"
#include "player/timeline/slider_selection_ticks_view.h"

#include "timeline_slider_fixture.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

void setHidePreference(bool hide)
{
    MVPPreferences::preferences().setPreference(HXPropertyList(hide), kGeneralHideSelectionIndicators, true);
}

TEST_F(SliderTest, RebuildMakesThePartsTheSourceAllows)
{
    const struct {
        bool editing, duration;
        bool ticks, markers, playhead;
    } cases[] = {
        { true, true, true, true, true },
        { false, true, false, false, true },
        { true, false, false, false, false },
        { false, false, false, false, false },
    };
    for (const auto& c : cases) {
        source.withDuration = c.duration;
        makeSlider(c.editing);
        auto track = slider->accessibilityTimeLineView();
        ASSERT_TRUE(track);
        EXPECT_EQ(track->enableScrubbing(), c.duration);
        EXPECT_EQ(bool(slider->selectionTicksView()), c.ticks);
        EXPECT_EQ(bool(slider->selectionStartMarkerButton()), c.markers);
        EXPECT_EQ(bool(slider->selectionEndMarkerButton()), c.markers);
        EXPECT_EQ(bool(slider->playHeadButton()), c.playhead);
        slider->removeFromSuperview();
    }
}

TEST_F(SliderTest, PartsAreStackedWithThePlayheadOnTop)
{
    makeSlider();
    const auto& views = slider->subviews();
    ASSERT_EQ(views.size(), 5u);
    EXPECT_EQ(views[0], std::static_pointer_cast<HXView>(slider->accessibilityTimeLineView()));
    EXPECT_EQ(views[1], std::static_pointer_cast<HXView>(slider->selectionTicksView()));
    EXPECT_EQ(views[2], std::static_pointer_cast<HXView>(slider->selectionStartMarkerButton()));
    EXPECT_EQ(views[3], std::static_pointer_cast<HXView>(slider->selectionEndMarkerButton()));
    EXPECT_EQ(views[4], std::static_pointer_cast<HXView>(slider->playHeadButton()));
    EXPECT_EQ(slider->accessibilityTimeLineView()->frame(), HXMakeRect(8, 6, 284, 8));
}

TEST_F(SliderTest, ChangesWaitForTheWindowUpdateAndAnnounceTheKeyLoop)
{
    makeSlider(false);
    int loops = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        "MVAKeyLoopChanged", window.get(), [&](const HXNotification&) { ++loops; });
    slider->setEditingEnabled(true);
    EXPECT_FALSE(slider->selectionStartMarkerButton()) << "nothing is rebuilt before the update";
    app->updateWindows();
    EXPECT_TRUE(slider->selectionStartMarkerButton());
    EXPECT_EQ(loops, 1);
    app->updateWindows();
    EXPECT_EQ(loops, 1) << "an update without a change rebuilds nothing";
    slider->setNeedsRebuild(false);
    app->updateWindows();
    EXPECT_EQ(loops, 2) << "asking with NO still rebuilds";
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(SliderTest, KnobsJoinTheKeyLoopInOrder)
{
    auto before = std::make_shared<HXView>(HXMakeRect(0, 30, 10, 10));
    window->contentView()->addSubview(before);
    makeSlider();
    auto last = slider->appendKeyViewsTo(before);
    EXPECT_EQ(before->nextKeyView(), std::static_pointer_cast<HXView>(slider->playHeadButton()));
    EXPECT_EQ(slider->playHeadButton()->nextKeyView(),
        std::static_pointer_cast<HXView>(slider->selectionStartMarkerButton()));
    EXPECT_EQ(slider->selectionStartMarkerButton()->nextKeyView(),
        std::static_pointer_cast<HXView>(slider->selectionEndMarkerButton()));
    EXPECT_EQ(last, std::static_pointer_cast<HXView>(slider->selectionEndMarkerButton()));

    slider->removeFromSuperview();
    source.withDuration = false;
    makeSlider();
    EXPECT_EQ(slider->appendKeyViewsTo(before), before) << "no knobs, nothing linked";
}

TEST_F(SliderTest, KnobsFollowTheSource)
{
    source.current = 0.5;
    source.start = 0.25;
    source.end = 0.75;
    makeSlider();
    EXPECT_EQ(slider->playHeadButton()->frame(), HXMakeRect(144, 6, 13, 12));
    EXPECT_EQ(slider->selectionStartMarkerButton()->frame(), HXMakeRect(71, 1, 9, 13));
    EXPECT_EQ(slider->selectionEndMarkerButton()->frame(), HXMakeRect(220, 1, 9, 13));
    source.current = 1;
    slider->updateCurrentTime();
    EXPECT_EQ(slider->playHeadButton()->frame().origin, (HXPoint { 285, 6 }));
    // A wider slider moves the knobs at once.
    slider->setFrameSize({ 400, 20 });
    EXPECT_EQ(slider->playHeadButton()->frame().origin, (HXPoint { 385, 6 }));
    EXPECT_EQ(slider->selectionEndMarkerButton()->frame().origin, (HXPoint { 295, 1 }));
}

TEST_F(SliderTest, ClicksGoToThePartUnderThem)
{
    source.current = 0.5; // playhead at 144 … 157
    source.start = 0.1; // start marker at 28 … 37
    source.end = 0.9; // end marker at 263 … 272
    makeSlider();
    auto track = std::static_pointer_cast<HXView>(slider->accessibilityTimeLineView());
    auto ticks = std::static_pointer_cast<HXView>(slider->selectionTicksView());
    const struct {
        HXPoint point;
        std::shared_ptr<HXView> view;
    } cases[] = {
        { { 60, 10 }, track },
        { { 150, 10 }, slider }, // the playhead over the track
        { { 60, 3 }, ticks },
        { { 30, 3 }, slider }, // the start marker over the ticks
        { { 266, 3 }, slider },
        { { 2, 17 }, slider },
        { { 310, 10 }, nullptr },
    };
    for (const auto& c : cases)
        EXPECT_EQ(slider->hitTest(slider->convertPointToView(c.point, slider->superview().get())), c.view)
            << c.point.x << "," << c.point.y;
}

TEST_F(SliderTest, DraggingTheKnobs)
{
    const struct {
        const char* name;
        HXPoint press;
        double dragX;
        uint32_t modifiers;
        std::vector<std::string> calls;
    } cases[] = {
        { "playhead to the start", { 150, 10 }, 8.5, 0, { "pause", "setCurrentTimePercent 0", "unpause" } },
        { "playhead past the end", { 150, 10 }, 295, 0, { "pause", "setCurrentTimePercent 1", "unpause" } },
        { "playhead with Shift moves the nearer end", { 150, 10 }, 291.5, HXShiftKeyMask,
            { "pause", "setCurrentTimePercent 1", "setSelectionPercent 1", "unpause" } },
        { "start marker", { 30, 3 }, 8.5 + 28.3, 0,
            { "pause", "setCurrentTimePercent 0.1", "setSelectionStartPercent 0.1",
                "setCurrentTimePercent 0.1", "unpause" } },
        { "start marker stops at the end", { 30, 3 }, 291.5, 0,
            { "pause", "setCurrentTimePercent 0.1", "setSelectionStartPercent 0.9",
                "setCurrentTimePercent 0.9", "unpause" } },
        { "end marker stops at the start", { 266, 3 }, 8.5, 0,
            { "pause", "setCurrentTimePercent 0.9", "setSelectionEndPercent 0.1", "setCurrentTimePercent 0.1",
                "unpause" } },
    };
    for (const auto& c : cases) {
        source = FakeSliderSource {};
        source.current = 0.5;
        source.start = 0.1;
        source.end = 0.9;
        makeSlider();
        mouse(HXLeftMouseDown, c.press);
        mouse(HXLeftMouseDragged, { c.dragX, c.press.y }, c.modifiers);
        EXPECT_TRUE(slider->isDragging()) << c.name;
        mouse(HXLeftMouseUp, { c.dragX, c.press.y });
        EXPECT_FALSE(slider->isDragging()) << c.name;
        EXPECT_EQ(source.calls, c.calls) << c.name;
        slider->removeFromSuperview();
    }
}

TEST_F(SliderTest, PressingAKnobFocusesItAndMovesTheTimeToIt)
{
    source.current = 0.5;
    source.start = 0.1;
    source.end = 0.9;
    makeSlider();
    mouse(HXLeftMouseDown, { 266, 3 });
    EXPECT_EQ(
        slider->selectedButton(), std::static_pointer_cast<HXButton>(slider->selectionEndMarkerButton()));
    EXPECT_EQ(
        window->firstResponder(), std::static_pointer_cast<HXResponder>(slider->selectionEndMarkerButton()));
    EXPECT_DOUBLE_EQ(source.current, 0.9);
    mouse(HXLeftMouseUp, { 266, 3 });
    // The keyboard works the knob the same way: a click sends the action.
    slider->playHeadButton()->performClick();
    EXPECT_EQ(slider->selectedButton(), std::static_pointer_cast<HXButton>(slider->playHeadButton()));
}

TEST_F(SliderTest, AClickBesideTheKnobsOfAMovieWithoutDuration)
{
    source.withDuration = false;
    makeSlider();
    mouse(HXLeftMouseDown, { 2, 17 });
    mouse(HXLeftMouseDragged, { 40, 17 });
    mouse(HXLeftMouseUp, { 40, 17 });
    EXPECT_FALSE(slider->selectedButton());
    EXPECT_EQ(source.calls, (std::vector<std::string> { "unpause" })) << "the release still unpauses";
}

TEST_F(SliderTest, ANarrowSliderDragsToTheStart)
{
    source.current = 0.5;
    makeSlider(true, 0, 12);
    slider->selectButton(slider->playHeadButton());
    mouse(HXLeftMouseDragged, { 6, 10 });
    EXPECT_EQ(source.calls.back(), "setCurrentTimePercent 0");
}

// ---- Selection indicators

TEST_F(SliderTest, HoverShowsAndHidesTheIndicators)
{
    setHidePreference(true);
    moveMouseTo({ 150, 60 }); // outside
    makeSlider();
    auto start = slider->selectionStartMarkerButton();
    auto ticks = slider->selectionTicksView();
    EXPECT_TRUE(start->isHidden()) << "no selection and the mouse outside";
    EXPECT_TRUE(ticks->isHidden());

    moveMouseTo({ 150, 10 });
    EXPECT_TRUE(start->isFading());
    clock->advance(0.051);
    EXPECT_FALSE(start->isHidden()) << "unhidden on the first tick";
    clock->advance(0.25);
    EXPECT_FLOAT_EQ(std::min(start->alphaValue(), 1.0f), 1.0f);
    EXPECT_FALSE(start->isFading());

    moveMouseTo({ 150, 60 });
    EXPECT_TRUE(slider->isHideSelectionTimerRunning());
    clock->advance(0.5);
    moveMouseTo({ 150, 10 }); // back within 0.75 s
    EXPECT_FALSE(slider->isHideSelectionTimerRunning());
    clock->advance(1.0);
    EXPECT_FALSE(start->isHidden());

    moveMouseTo({ 150, 60 });
    clock->advance(0.751);
    EXPECT_TRUE(start->isFading());
    clock->advance(0.251);
    EXPECT_TRUE(start->isHidden());
    EXPECT_TRUE(ticks->isHidden());
    setHidePreference(false);
}

TEST_F(SliderTest, IndicatorsStayWhileTheyAreNotHidden)
{
    setHidePreference(false);
    moveMouseTo({ 150, 60 });
    makeSlider();
    EXPECT_FALSE(slider->selectionStartMarkerButton()->isHidden()) << "shown while the preference is off";
    EXPECT_FALSE(slider->selectionTicksView()->isHidden()) << "nor are the ticks hidden";

    setHidePreference(true);
    EXPECT_TRUE(slider->selectionStartMarkerButton()->isHidden())
        << "the preference's change applies at once";
    source.start = 0.2;
    source.end = 0.4;
    slider->updateSelection();
    EXPECT_FALSE(slider->selectionStartMarkerButton()->isHidden()) << "a selection shows its markers";

    // Hidden by the hover, the ticks come back when the preference is turned off.
    moveMouseTo({ 150, 10 });
    moveMouseTo({ 150, 60 });
    clock->advance(1.1);
    ASSERT_TRUE(slider->selectionTicksView()->isHidden());
    setHidePreference(false);
    EXPECT_FALSE(slider->selectionTicksView()->isHidden());
}

TEST_F(SliderTest, MarkersStayDuringAKnobDrag)
{
    setHidePreference(true);
    source.current = 0.5;
    source.start = 0.1;
    source.end = 0.9;
    moveMouseTo({ 150, 10 });
    makeSlider();
    mouse(HXLeftMouseDown, { 150, 10 });
    mouse(HXLeftMouseDragged, { 160, 10 });
    source.start = source.end = 0.3; // the selection went away during the drag
    server->setMouseLocation({ 2000, 2000 });
    slider->updateSelection();
    EXPECT_FALSE(slider->selectionStartMarkerButton()->isHidden());
    mouse(HXLeftMouseUp, { 160, 10 });
    server->setMouseLocation({ 2000, 2000 });
    slider->updateSelection();
    EXPECT_TRUE(slider->selectionStartMarkerButton()->isHidden());
    setHidePreference(false);
}

TEST_F(SliderTest, FadesTakeFiveTicksAndNeverRunTwice)
{
    makeSlider();
    auto marker = slider->selectionEndMarkerButton();
    auto ticks = slider->selectionTicksView();
    for (auto* fading : { static_cast<HXView*>(marker.get()), static_cast<HXView*>(ticks.get()) }) {
        auto fade = [&](bool hidden) {
            if (fading == marker.get())
                marker->setSelectionHidden(hidden, true);
            else
                ticks->setSelectionHidden(hidden, true);
        };
        auto alpha = [&] { return fading == marker.get() ? marker->alphaValue() : ticks->alphaValue(); };
        if (fading == marker.get())
            marker->setSelectionHidden(false, false);
        else
            ticks->setSelectionHidden(false, false);
        // Ticks fall due every 0.05 s; each check looks a little after its tick.
        fade(true);
        clock->advance(0.101);
        EXPECT_NEAR(alpha(), 0.6, 1e-5);
        fade(true); // already fading out: no second timer
        clock->advance(0.1);
        EXPECT_NEAR(alpha(), 0.2, 1e-5);
        EXPECT_FALSE(fading->isHidden());
        clock->advance(0.05);
        EXPECT_TRUE(fading->isHidden()) << "hidden after five ticks";
        EXPECT_EQ(alpha(), 0.0f);
        clock->advance(1);
        EXPECT_EQ(alpha(), 0.0f) << "the timer stopped";

        fade(false);
        clock->advance(0.051);
        EXPECT_FALSE(fading->isHidden()) << "visible from the first tick";
        clock->advance(0.2);
        EXPECT_EQ(alpha(), 1.0f);
        clock->advance(1);
        EXPECT_EQ(alpha(), 1.0f) << "the timer stopped";
    }
}

// ---- Knobs

TEST_F(SliderTest, MarkerKeysStepTheirEnd)
{
    source.start = 0.2;
    source.end = 0.6;
    makeSlider();
    const std::string left = HXStringFromCharacter(HXLeftArrowFunctionKey);
    const std::string right = HXStringFromCharacter(HXRightArrowFunctionKey);
    const struct {
        bool end;
        bool focused;
        std::string key;
        uint32_t modifiers;
        const char* call; // nullptr: no step
    } cases[] = {
        { true, true, left, 0, "stepSelectionEndBackward" },
        { true, true, right, 0, "stepSelectionEndForward" },
        { false, true, left, 0, "stepSelectionStartBackward" },
        { false, true, right, HXShiftKeyMask, "stepSelectionStartForward" },
        { true, true, left, HXCommandKeyMask, nullptr },
        { true, true, left, HXAlternateKeyMask, nullptr },
        { true, false, left, 0, nullptr },
        { true, true, "a", 0, nullptr },
    };
    for (const auto& c : cases) {
        source.calls.clear();
        std::shared_ptr<MVPSliderSelectionMarkerButton> marker;
        if (c.end)
            marker = slider->selectionEndMarkerButton();
        else
            marker = slider->selectionStartMarkerButton();
        window->makeFirstResponder(c.focused ? std::static_pointer_cast<HXResponder>(marker) : nullptr);
        marker->keyDown(HXEvent::keyEvent(
            HXKeyDown, {}, c.modifiers, 0, window->windowNumber(), c.key, c.key, false, HXKeyCodeUnknown));
        if (c.call)
            EXPECT_EQ(source.calls, (std::vector<std::string> { c.call })) << c.call;
        else
            EXPECT_TRUE(std::none_of(source.calls.begin(), source.calls.end(),
                [](const std::string& s) { return s.rfind("step", 0) == 0; }))
                << c.key << " " << c.modifiers;
    }
}

TEST_F(SliderTest, MarkerImagesShowSelectionAndFocus)
{
    makeSlider();
    auto start = slider->selectionStartMarkerButton();
    auto end = slider->selectionEndMarkerButton();
    const struct {
        bool selection, focused;
        const char* startImage;
        const char* endImage;
    } cases[] = {
        { true, true, "LCDSliderSelectionStartMarkerOn.tif", "LCDSliderSelectionEndMarkerOn.tif" },
        { true, false, "LCDSliderSelectionStartMarkerOff.tif", "LCDSliderSelectionEndMarkerOff.tif" },
        { false, true, "LCDSliderSelectionStartMarkerNoLineOn.tif",
            "LCDSliderSelectionEndMarkerNoLineOn.tif" },
        { false, false, "LCDSliderSelectionStartMarkerNoLineOff.tif",
            "LCDSliderSelectionEndMarkerNoLineOff.tif" },
    };
    for (const auto& c : cases) {
        source.start = 0.2;
        source.end = c.selection ? 0.5 : 0.2;
        window->makeFirstResponder(c.focused ? std::static_pointer_cast<HXResponder>(start) : nullptr);
        EXPECT_EQ(start->imageName(), c.startImage);
        window->makeFirstResponder(c.focused ? std::static_pointer_cast<HXResponder>(end) : nullptr);
        EXPECT_EQ(end->imageName(), c.endImage);
    }
}

TEST_F(SliderTest, PlayheadLightsWithTheFocus)
{
    auto movieView = std::make_shared<HXView>(HXMakeRect(0, 25, 10, 10));
    struct FocusableView : HXView {
        using HXView::HXView;
        bool acceptsFirstResponder() const override { return true; }
    };
    auto focusable = std::make_shared<FocusableView>(HXMakeRect(0, 25, 10, 10));
    window->contentView()->addSubview(focusable);
    source.view = focusable;
    makeSlider();
    auto playhead = slider->playHeadButton();
    const struct {
        bool fullKeyboardAccess;
        const char* focus; // "movie", "playhead" or "other"
        bool lit;
    } cases[] = {
        { false, "movie", true },
        { false, "playhead", true },
        { false, "other", false },
        { true, "movie", false },
        { true, "playhead", true },
    };
    for (const auto& c : cases) {
        HXUserDefaults::standardUserDefaults().setInteger(c.fullKeyboardAccess ? 2 : 0, "HXKeyboardUIMode");
        std::string focus = c.focus;
        window->makeFirstResponder(focus == "movie" ? std::static_pointer_cast<HXResponder>(focusable)
                : focus == "playhead"               ? std::static_pointer_cast<HXResponder>(playhead)
                                                    : nullptr);
        window->update();
        EXPECT_EQ(playhead->isLit(), c.lit) << c.fullKeyboardAccess << " " << c.focus;
        EXPECT_EQ(playhead->imageName(), c.lit ? "LCDSliderPlayHeadOn.tif" : "LCDSliderPlayHeadOff.tif");
    }
    HXUserDefaults::standardUserDefaults().removeObjectForKey("HXKeyboardUIMode");

    slider->removeFromSuperview();
    makeSlider(true, 1);
    window->makeFirstResponder(slider->playHeadButton());
    EXPECT_EQ(slider->playHeadButton()->imageName(), "FSLCDSliderPlayHead.tif");
    window->makeFirstResponder(nullptr);
    EXPECT_EQ(slider->playHeadButton()->imageName(), "FSLCDSliderPlayHead.tif");
    EXPECT_EQ(slider->playHeadButton()->frame().size, (HXSize { 9, 9 }));
    (void)movieView;
}

// ---- The track

TEST_F(SliderTest, ScrubbingMovesTheTimeAndWithShiftTheSelection)
{
    // Track from x 8, 284 wide: slider x 79 is 0.25.
    const struct {
        const char* name;
        double start, end, current;
        uint32_t held;
        std::vector<std::string> calls;
    } cases[] = {
        { "plain", 0, 0, 0.5, 0, { "pause", "setCurrentTimePercent 0.25", "unpause" } },
        { "Shift, no selection, left of the time", 0, 0, 0.5, HXShiftKeyMask,
            { "pause", "setSelection 0.25 0.5", "setCurrentTimePercent 0.25", "unpause" } },
        { "Shift, no selection, right of the time", 0, 0, 0.1, HXShiftKeyMask,
            { "pause", "setSelection 0.1 0.25", "setCurrentTimePercent 0.25", "unpause" } },
        { "Shift, no selection, on the time", 0, 0, 0.25, HXShiftKeyMask,
            { "pause", "setSelectionPercent 0.25", "setCurrentTimePercent 0.25", "unpause" } },
        { "Shift with a selection", 0.5, 0.75, 0.6, HXShiftKeyMask,
            { "pause", "setSelectionPercent 0.25", "setCurrentTimePercent 0.25", "unpause" } },
    };
    for (const auto& c : cases) {
        source = FakeSliderSource {};
        source.start = c.start;
        source.end = c.end;
        source.current = c.current;
        makeSlider();
        // Straight to the track: with the time at the click, the playhead would be under the mouse.
        auto track = slider->accessibilityTimeLineView();
        auto at = [&](HXEventType type) {
            return HXEvent::mouseEvent(type, base({ 79, 10 }), 0, 0, window->windowNumber());
        };
        server->setModifierFlags(c.held);
        track->mouseDown(at(HXLeftMouseDown));
        track->mouseUp(at(HXLeftMouseUp));
        server->setModifierFlags(0);
        EXPECT_EQ(source.calls, c.calls) << c.name;
        EXPECT_FALSE(slider->selectedButton()) << c.name;
        slider->removeFromSuperview();
    }
}

TEST_F(SliderTest, TheBarShowsHowMuchHasLoaded)
{
    // Pixels of the bar's groove a fifth and four fifths along (the content is 40 points high; the
    // groove runs 11 points above the slider's bottom).
    auto pixels = [&](double load) {
        source.load = load;
        slider->updateLoadPercent();
        auto track = slider->accessibilityTimeLineView();
        HXPoint a = track->convertPointToView({ 284 * 0.2, 5 }, nullptr);
        HXPoint b = track->convertPointToView({ 284 * 0.8, 5 }, nullptr);
        return std::pair { window->renderedPixelRGBA(int(a.x), int(40 - a.y)),
            window->renderedPixelRGBA(int(b.x), int(40 - b.y)) };
    };
    makeSlider(false);
    auto [loadedA, loadedB] = pixels(1.0);
    EXPECT_EQ(loadedA, loadedB) << "fully loaded: one bar";
    auto [partA, partB] = pixels(0.4);
    EXPECT_EQ(partA, loadedA) << "the loaded part is drawn as before";
    EXPECT_NE(partB, loadedB) << "after 40 % the unloaded pattern";
    auto [noneA, noneB] = pixels(0.0);
    EXPECT_EQ(noneA, partB) << "nothing loaded: the pattern all along";
    EXPECT_EQ(noneB, partB);
}

TEST_F(SliderTest, HoldingStillInsideTheSelectionDragsItOut)
{
    source.start = 0.2;
    source.end = 0.6;
    source.current = 0.8;
    makeSlider();
    auto track = slider->accessibilityTimeLineView();
    auto board = HXPasteboard::pasteboardWithName(HXDragPboard);

    // Moving first scrubs instead.
    mouse(HXLeftMouseDown, { 100, 10 });
    EXPECT_TRUE(track->isDraggingTimerRunning());
    mouse(HXLeftMouseDragged, { 110, 10 });
    EXPECT_FALSE(track->isDraggingTimerRunning());
    mouse(HXLeftMouseUp, { 110, 10 });
    long count = board->changeCount();
    clock->advance(1.5);
    EXPECT_EQ(board->changeCount(), count);

    // Outside the selection nothing is pending.
    mouse(HXLeftMouseDown, { 250, 10 });
    EXPECT_FALSE(track->isDraggingTimerRunning());
    mouse(HXLeftMouseUp, { 250, 10 });

    // Held still for a second: the drag takes the mouse-up, and the paused movie plays on.
    source.calls.clear();
    mouse(HXLeftMouseDown, { 100, 10 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, base({ 140, 30 }));
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, base({ 140, 30 }));
    clock->advance(1.0);
    EXPECT_FALSE(track->isDraggingTimerRunning());
    EXPECT_GT(board->changeCount(), count);
    EXPECT_EQ(board->types(), (std::vector<std::string> { "MVMoviePasteboardType" }));
    EXPECT_FALSE(source.called("provide MVMoviePasteboardType")) << "made only when read";
    board->dataForType("MVMoviePasteboardType");
    EXPECT_TRUE(source.called("provide MVMoviePasteboardType"));
    EXPECT_EQ(source.calls.front(), "pause");
    EXPECT_TRUE(source.called("unpause"));
}

TEST_F(SliderTest, AnEmptySelectionNeverDragsOut)
{
    source.start = source.end = 0.3;
    makeSlider();
    mouse(HXLeftMouseDown, { 93, 10 });
    EXPECT_FALSE(slider->accessibilityTimeLineView()->isDraggingTimerRunning());
    mouse(HXLeftMouseUp, { 93, 10 });
}

TEST_F(SliderTest, TicksMoveTheNearerEnd)
{
    source.start = 0.2;
    source.end = 0.6;
    makeSlider();
    mouse(HXLeftMouseDown, { 79, 3 });
    mouse(HXLeftMouseDragged, { 8 + 284 * 0.125, 3 });
    mouse(HXLeftMouseUp, { 8 + 284 * 0.125, 3 });
    EXPECT_EQ(source.calls,
        (std::vector<std::string> { "pause", "setSelectionPercent 0.25", "setCurrentTimePercent 0.25",
            "setSelectionPercent 0.125", "setCurrentTimePercent 0.125", "unpause" }));
    EXPECT_DOUBLE_EQ(source.start, 0.125);
}

// ---- Drops

TEST_F(SliderTest, DropsSnapAndInsert)
{
    source.current = 0.5; // playhead at 144: candidate 150
    source.start = 0.1; // start marker at 28: candidate 36
    source.end = 0.9; // end marker at 263: candidate 263
    makeSlider();
    EXPECT_EQ(slider->registeredDraggedTypes(),
        (std::vector<std::string> { "MVMoviePasteboardType", HXFilenamesPboardType }));
    const struct {
        const char* name;
        double x;
        bool fromTrack;
        unsigned mask;
        unsigned operation;
        const char* insert; // nullptr: refused
        double indicatorX;
    } cases[] = {
        { "near the playhead", 140, false, HXDragOperationCopy | HXDragOperationMove, HXDragOperationCopy,
            "insert 0.5 keep", 149 },
        { "near the start", 12, false, HXDragOperationCopy, HXDragOperationCopy, "insert 0 keep", 7 },
        { "near the start marker", 40, false, HXDragOperationCopy, HXDragOperationCopy, "insert 0.1 keep",
            35 },
        { "near the end marker", 250, false, HXDragOperationCopy, HXDragOperationCopy, "insert 0.9 keep",
            262 },
        { "near the end", 299, false, HXDragOperationCopy, HXDragOperationCopy, "insert 1 keep", 290 },
        { "from our own track", 290, true, HXDragOperationCopy | HXDragOperationMove, HXDragOperationMove,
            "insert 1 delete", 290 },
        { "from our track, copy only", 290, true, HXDragOperationCopy, HXDragOperationCopy, "insert 1 keep",
            290 },
        { "neither copy nor move", 140, false, HXDragOperationLink, HXDragOperationNone, nullptr, 149 },
    };
    for (const auto& c : cases) {
        source.calls.clear();
        FakeDrag drag;
        drag.board->declareTypes({ "MVMoviePasteboardType" }, nullptr);
        drag.board->setData(HXData(std::string("movie")), "MVMoviePasteboardType");
        drag.location = base({ c.x, 10 });
        drag.mask = c.mask;
        if (c.fromTrack)
            drag.source = slider->accessibilityTimeLineView().get();
        EXPECT_EQ(slider->draggingEntered(drag), c.operation) << c.name;
        auto indicator = slider->dragIndicatorView();
        ASSERT_TRUE(indicator) << c.name;
        EXPECT_EQ(slider->subviews().back(), std::static_pointer_cast<HXView>(indicator)) << "on top";
        EXPECT_EQ(indicator->frame(), HXMakeRect(c.indicatorX, 4, 3, 13)) << c.name;
        bool done = slider->performDragOperation(drag);
        EXPECT_EQ(done, c.insert != nullptr) << c.name;
        if (done)
            slider->concludeDragOperation(drag);
        EXPECT_EQ(
            source.calls, c.insert ? std::vector<std::string> { c.insert } : std::vector<std::string> {})
            << c.name;
        EXPECT_FALSE(slider->dragIndicatorView()) << c.name;
        EXPECT_EQ(slider->subviews().size(), 5u) << c.name;
    }
}

TEST_F(SliderTest, TheIndicatorFollowsTheDragAndLeavesWithIt)
{
    source.current = 0.5;
    makeSlider();
    FakeDrag drag;
    drag.board->declareTypes({ "MVMoviePasteboardType" }, nullptr);
    drag.location = base({ 20, 10 });
    slider->draggingEntered(drag);
    EXPECT_DOUBLE_EQ(slider->dragPercent(), 0);
    drag.location = base({ 160, 10 });
    EXPECT_EQ(slider->draggingUpdated(drag), unsigned(HXDragOperationCopy));
    EXPECT_DOUBLE_EQ(slider->dragPercent(), 0.5);
    EXPECT_EQ(slider->dragIndicatorView()->frame().origin, (HXPoint { 149, 4 }));
    slider->draggingExited(drag);
    EXPECT_FALSE(slider->dragIndicatorView());

    // Without editing, the slider takes no drops; the types follow a source given after editing.
    slider->setEditingEnabled(false);
    EXPECT_TRUE(slider->registeredDraggedTypes().empty());
    slider->setMediaSource(nullptr);
    slider->setEditingEnabled(true);
    EXPECT_EQ(slider->registeredDraggedTypes(), (std::vector<std::string> { HXFilenamesPboardType }));
    slider->setMediaSource(&source);
    EXPECT_EQ(slider->registeredDraggedTypes().size(), 2u);
}

} // namespace
