// The window controller base: the enabling table of its commands, the titles and check marks of its
// menu items, placing windows (remembered top-left, else a cascade), sound only in the front player,
// the pinch that ends short of full screen, and the undo bracket around a movie edit.
#include "window_test_fixture.h"

#include "core/preferences.h"
#include "player/window/movie_window_background_view.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/menu.h"

#include <functional>

namespace {

using movara::test::PlayerWindowTest;
using movara::test::windowTestMovie;
using State = MVPWindowController::MenuState;

// A local movie with picture and sound, a selection, something to paste, in a resizable window.
State everything()
{
    State s;
    s.hasMovie = true;
    s.canCut = s.canCopy = s.canPaste = true;
    s.isLoopable = s.isLinear = s.saveable = true;
    s.hasVideo = s.hasAudio = s.hasPosterTime = true;
    s.windowResizable = true;
    return s;
}

TEST(WindowControllerValidation, EnablingFollowsTheMovieAndTheDocument)
{
    auto with = [](auto change) {
        State s = everything();
        change(s);
        return s;
    };
    const State plain = everything();
    const State featured = with([](State& s) { s.reelspot = true; });
    const State mpeg = with([](State& s) { s.isMPEG = true; });
    const State mpegEditable = with([](State& s) { s.isMPEG = s.mpegEditingEnabled = true; });
    const State live = with([](State& s) { s.isStreaming = true, s.movieType = 3; });
    const State stored = with([](State& s) { s.isStreaming = true, s.movieType = 4; });
    const State vr = with([](State& s) { s.hasVRController = true; });
    const State soundOnly = with([](State& s) { s.hasVideo = false; });
    const State silent = with([](State& s) { s.hasAudio = false; });
    const State fixedWindow = with([](State& s) { s.windowResizable = false; });
    const State nothingSelected = with([](State& s) { s.canCut = s.canCopy = false; });
    const State noMovie;

    const struct {
        const char* action;
        const State& state;
        bool enabled;
    } cases[] = {
        { "cut:", plain, true },
        { "cut:", nothingSelected, false },
        { "trim:", featured, false },
        { "copy:", mpeg, false },
        { "copy:", mpegEditable, true },
        { "paste:", mpeg, false },
        { "add:", mpeg, true },
        { "addScaled:", featured, false },
        { "selectAll:", mpeg, true },
        { "selectNone:", vr, false },
        { "selectAll:", featured, false },
        { "selectAll:", noMovie, false },
        { "halfSize:", plain, true },
        { "doubleSize:", soundOnly, false },
        { "normalSize:", featured, false },
        { "fitToScreen:", plain, true },
        { "fitToScreen:", fixedWindow, false },
        { "loop:", plain, true },
        { "loop:", live, false },
        { "loop:", stored, true },
        { "loop:", vr, false },
        { "loopBackAndForth:", stored, false },
        { "playSelectionOnly:", live, false },
        { "playAllFrames:", stored, true },
        { "setPosterFrame:", plain, true },
        { "setPosterFrame:", featured, false },
        { "gotoPosterFrame:", soundOnly, false },
        { "showSoundControls:", plain, true },
        { "showSoundControls:", silent, false },
        { "chapterSelected:", featured, true },
        { "chapterSelected:", noMovie, false },
        { "someOtherAction:", plain, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPWindowController::validateAction(c.action, c.state), c.enabled) << c.action;
}

class WindowControllerBase : public PlayerWindowTest { };

TEST_F(WindowControllerBase, MenuItemsShowTheMovieState)
{
    auto doc = openDocument(windowTestMovie());
    auto controller = controllerOf(doc);
    doc->movie()->setLoopingMode(MVMovieLoopingMode::BackAndForth);
    const struct {
        const char* action;
        int state;
        const char* title;
    } cases[] = {
        { "loop:", HXOnState, "" },
        { "loopBackAndForth:", HXOnState, "" },
        { "playSelectionOnly:", HXOffState, "" },
        // No sound: the command would show the sound controls (and is disabled).
        { "showSoundControls:", HXOffState, "Show Sound Controls" },
        { "fitToScreen:", HXOffState, "Fit to Screen" },
    };
    for (const auto& c : cases) {
        HXMenuItem item("", c.action, "");
        item.setState(HXMixedState);
        bool enabled = controller->validateMenuItem(item);
        if (*c.title) {
            EXPECT_EQ(item.title(), c.title) << c.action;
        } else {
            EXPECT_EQ(item.state(), c.state) << c.action;
        }
        if (std::string(c.action) == "showSoundControls:") {
            EXPECT_FALSE(enabled);
        }
    }
}

TEST_F(WindowControllerBase, WindowsCascadeUnlessTheMovieRemembersItsPlace)
{
    auto first = openDocument(windowTestMovie());
    auto second = openDocument(windowTestMovie());
    HXRect a = first->movieWindow()->frame(), b = second->movieWindow()->frame();
    HXRect visible = HXScreen::screens().front().visibleFrame();
    // The first sits one step in from the corner of the screen, the next one more step on.
    EXPECT_EQ(HXMinX(a), HXMinX(visible) + HXWindowTitleBarHeight);
    EXPECT_EQ(HXMaxY(a), HXMaxY(visible) - HXWindowTitleBarHeight);
    EXPECT_EQ(HXMinX(b), HXMinX(a) + HXWindowTitleBarHeight);
    EXPECT_EQ(HXMaxY(b), HXMaxY(a) - HXWindowTitleBarHeight);

    // Top-left at (100, 700): 200 below the top of the 900-point screen.
    auto movie = windowTestMovie();
    MVUserDataAddItem(movie->userData(), MVFourCC("WLOC"), MVBytes { 0, 200, 0, 100 });
    auto placed = openDocument(movie);
    HXRect c = placed->movieWindow()->frame();
    EXPECT_EQ(HXMinX(c), 100);
    EXPECT_EQ(HXMaxY(c), 700);
}

TEST_F(WindowControllerBase, OnlyTheFrontPlayerMakesSound)
{
    MVPPreferences::preferences().setPreference(HXPropertyList(true), kGeneralPreferencePlaySoundInFrontPlayerOnly, false);
    auto front = openDocument(windowTestMovie());
    front->movie()->setMuted(true);
    // Alone: nothing else to mute; the front one is heard.
    controllerOf(front)->mainWindowChanged(true);
    EXPECT_FALSE(front->movie()->isMuted());

    auto back = openDocument(windowTestMovie());
    controllerOf(front)->mainWindowChanged(true);
    EXPECT_TRUE(back->movie()->isMuted());
    EXPECT_FALSE(front->movie()->isMuted());
    // Resigning changes nothing.
    controllerOf(front)->mainWindowChanged(false);
    EXPECT_TRUE(back->movie()->isMuted());
    controllerOf(back)->mainWindowChanged(true);
    EXPECT_FALSE(back->movie()->isMuted());
    EXPECT_TRUE(front->movie()->isMuted());

    MVPPreferences::preferences().setPreference(HXPropertyList(false), kGeneralPreferencePlaySoundInFrontPlayerOnly, false);
    controllerOf(front)->mainWindowChanged(true);
    EXPECT_TRUE(front->movie()->isMuted()) << "without the preference nothing changes";
}

TEST_F(WindowControllerBase, APinchShortOfTheThresholdChangesNothingAndIsDrained)
{
    auto doc = openDocument(windowTestMovie());
    auto controller = controllerOf(doc);
    auto window = controller->window();
    auto& app = HXApp();
    app.postEvent(HXEvent::magnifyEvent({}, 0, window->windowNumber(), 0.1), false);
    app.postEvent(HXEvent::otherEvent(HXEventTypeEndGesture, {}, 0, 0, window->windowNumber(), 0, 0, 0), false);
    app.postEvent(HXEvent::swipeEvent({}, 0, window->windowNumber(), -1, 0), false);
    controller->magnifyWithEvent(HXEvent::magnifyEvent({}, 0, window->windowNumber(), 0.1));
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_FALSE(window->nextEventMatchingMask(HXAnyEventMask, 0, HXDefaultRunLoopMode, true));

    // A pinch whose end never comes gives up after the time-out.
    controller->magnifyWithEvent(HXEvent::magnifyEvent({}, 0, window->windowNumber(), 0.05));
    EXPECT_FALSE(doc->isFullScreen());
}

TEST_F(WindowControllerBase, UndoBracketReturnsToTheStateBeforeTheEdit)
{
    auto doc = openDocument(windowTestMovie());
    auto controller = controllerOf(doc);
    auto movie = doc->movie();
    int64_t before = movie->durationValue();
    controller->commitUndoOperation("mvpDelete"); // nothing open: nothing registered
    controller->beginUndoOperation();
    ASSERT_TRUE(controller->hasUndoOperation());
    movie->setUndoManager(nullptr);
    ASSERT_TRUE(movie->deleteSegment(MVMakeTimeRange(MVMakeTime(0, 600), MVMakeTime(100, 600))));
    movie->setUndoManager(doc->undoManager());
    controller->commitUndoOperation("mvpDelete");
    EXPECT_FALSE(controller->hasUndoOperation());
    ASSERT_TRUE(doc->undoManager()->canUndo());
    EXPECT_EQ(doc->undoManager()->undoActionName(), "mvpDelete");
    doc->undoManager()->undo();
    EXPECT_EQ(movie->durationValue(), before);
}

} // namespace

namespace {

using movara::test::PlayerWindowTest;
using movara::test::windowTestMovie;

class WindowControllerActions : public PlayerWindowTest { };

TEST_F(WindowControllerActions, MenuCommandsActOnTheDocumentsMovie)
{
    auto doc = openDocument(windowTestMovie(160, 120, 30)); // 600 units
    auto controller = controllerOf(doc);
    auto movie = doc->movie();
    auto perform = [&](const char* action) { ASSERT_TRUE(controller->performAction(action, nullptr)) << action; };

    perform("selectAll:");
    EXPECT_EQ(MVTimeInScale(movie->selection().duration, 600).timeValue, 600);
    movie->setCurrentTime(MVMakeTime(120, 600));
    perform("selectNone:");
    EXPECT_EQ(MVTimeInScale(movie->selection().time, 600).timeValue, 120);
    EXPECT_EQ(movie->selection().duration.timeValue, 0);

    const struct {
        const char* action;
        std::function<bool()> state;
    } toggles[] = {
        { "loop:", [&] { return movie->loopingMode() == MVMovieLoopingMode::Loop; } },
        { "loopBackAndForth:", [&] { return movie->loopingMode() == MVMovieLoopingMode::BackAndForth; } },
        { "playSelectionOnly:", [&] { return movie->playsSelectionOnly(); } },
        { "playAllFrames:", [&] { return movie->playsAllFrames(); } },
    };
    for (const auto& t : toggles) {
        bool before = t.state();
        perform(t.action);
        EXPECT_NE(t.state(), before) << t.action;
        perform(t.action);
        EXPECT_EQ(t.state(), before) << t.action;
    }

    movie->setCurrentTime(MVMakeTime(300, 600));
    perform("setPosterFrame:");
    EXPECT_EQ(MVTimeInScale(movie->posterTime(), 600).timeValue, 300);

    // Edit commands go to the movie view: a cut takes the selection out.
    movie->setSelection(MVMakeTimeRange(MVMakeTime(0, 600), MVMakeTime(200, 600)));
    perform("cut:");
    EXPECT_EQ(movie->durationValue(), 400);
}

TEST_F(WindowControllerActions, ANewNaturalSizeResizesTheWindowAtTheSameScale)
{
    auto doc = openDocument(windowTestMovie(160, 120));
    auto controller = controllerOf(doc);
    controller->setScale(HXMakeSize(2, 2), false);
    EXPECT_EQ(controller->movieSize(), HXMakeSize(320, 240));
    // A larger picture track arrives: the window shows it at the user's scale, in its proportions.
    auto movie = doc->movie();
    auto track = movie->newTrack(MVFourCC("vide"), 600, 400, 200);
    MVSampleDescription d;
    d.format = MVFourCC("mp4v");
    d.data = { 0, 0, 0, 0 };
    track->media()->addSample(MVBytes(1, 0), 600, 1, MVSampleDescriptionBytes(d), 0);
    track->insertMedia(0, 0, 600);
    movie->movieChanged();
    EXPECT_EQ(doc->naturalSize(), HXMakeSize(400, 200));
    EXPECT_EQ(controller->backgroundView()->aspectRatio(), HXMakeSize(400, 200));
    EXPECT_EQ(controller->movieSize(), HXMakeSize(800, 400));
}

} // namespace

#include "core/string_additions.h"
#include "platform/winkit/matrix.h"
#include "platform/winkit/text_field.h"

namespace {

class SaveAsOptions : public movara::test::PlayerWindowTest { };

TEST_F(SaveAsOptions, TheAccessoryShowsBothSizesAndChoosesTheKindOfSave)
{
    auto doc = openDocument(movara::test::windowTestMovie());
    auto controller = controllerOf(doc);
    auto view = controller->saveAsAccessoryView(2048, 5 * 1024 * 1024);
    ASSERT_TRUE(view);
    EXPECT_EQ(controller->saveAsNormalFileSizeTextField()->stringValue(), HXString_MVAdditions::stringForDataSize(2048));
    EXPECT_EQ(controller->saveAsSelfContainedFileSizeTextField()->stringValue(),
        HXString_MVAdditions::stringForDataSize(5 * 1024 * 1024));
    EXPECT_EQ(controller->saveAsAccessoryView(10, 20), view) << "made once, sizes written again";
    EXPECT_EQ(controller->saveAsNormalFileSizeTextField()->stringValue(), HXString_MVAdditions::stringForDataSize(10));

    auto matrix = controller->saveAsFileFlattenMatrix();
    EXPECT_EQ(matrix->selectedCell()->tag(), doc->flatten() ? 1 : 0) << "the document's choice shows";
    for (long tag : { 0L, 1L, 0L }) {
        matrix->selectCellWithTag(tag);
        controller->flattenOption();
        EXPECT_EQ(doc->flatten(), tag == 1) << tag;
    }

    std::vector<double> heights { view->frame().size.height };
    for (int i = 0; i < 2; ++i) {
        controller->tiltSaveOptions();
        heights.push_back(view->frame().size.height);
    }
    EXPECT_EQ(heights, (std::vector<double> { 58, 160, 58 }));
}

} // namespace

#include "platform/winkit/pasteboard.h"

#include "test_support.h"

namespace {

class MovieHandOver : public movara::test::PlayerWindowTest { };

TEST_F(MovieHandOver, FileNamesForAFileTextForAFileOrAnAddress)
{
    movara::test::TempDir dir;
    auto path = dir.path() / "clip.mov";
    auto movie = movara::test::windowTestMovie();
    ASSERT_TRUE(movie->writeToFile(path.string(), {}, nullptr));
    HXError error;
    auto doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "Movie", false, &error);
    ASSERT_TRUE(doc);
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    documents.push_back(doc);
    auto controller = controllerOf(doc);
    auto pasteboard = HXPasteboard::pasteboardWithUniqueName();

    EXPECT_TRUE(controller->isValidRequestorForSendType(HXFilenamesPboardType));
    EXPECT_TRUE(controller->isValidRequestorForSendType(HXStringPboardType));
    EXPECT_FALSE(controller->isValidRequestorForSendType(HXMoviePboardType));

    ASSERT_TRUE(controller->writeSelectionToPasteboard(*pasteboard, { HXStringPboardType, HXFilenamesPboardType }));
    auto names = pasteboard->propertyListForType(HXFilenamesPboardType);
    ASSERT_TRUE(names);
    ASSERT_EQ(names->arrayValue().size(), 1u);
    EXPECT_EQ(names->arrayValue()[0].stringValue(), path.string());

    ASSERT_TRUE(controller->writeSelectionToPasteboard(*pasteboard, { HXStringPboardType }));
    EXPECT_EQ(pasteboard->stringForType(HXStringPboardType), path.string());
    EXPECT_FALSE(controller->writeSelectionToPasteboard(*pasteboard, { HXMoviePboardType }));

    // A movie made in memory has neither a file nor an address: nothing to hand over.
    auto unsaved = openDocument(movara::test::windowTestMovie());
    EXPECT_FALSE(controllerOf(unsaved)->isValidRequestorForSendType(HXFilenamesPboardType));
    EXPECT_FALSE(controllerOf(unsaved)->writeSelectionToPasteboard(*pasteboard, { HXStringPboardType }));
}

} // namespace
