// The timeline slider in a real window on an X display, worked with real mouse and key events made by the
// X server's test extension: dragging along the track scrubs the movie, and Shift-dragging makes a
// selection that the markers show.
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/notifications.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"
#include "player/timeline/lcd_media_source.h"
#include "player/timeline/slider_playhead_button.h"
#include "player/timeline/slider_rect_view.h"
#include "player/timeline/slider_selection_marker_button.h"
#include "player/timeline/slider_view.h"

#include "timeline_test_movies.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

// Last: it brings Xlib, whose macros clash with names in the headers above.
#include "display_capture.h"
#include <X11/keysym.h>

#ifdef MOVARA_HAVE_SDL_BACKEND
using movara::test::display::runFor;
#endif

namespace {

#ifdef MOVARA_HAVE_SDL_BACKEND

// The X server's test extension, loaded at run time.
struct FakeInput {
    using Motion = int (*)(Display*, int, int, int, unsigned long);
    using Button = int (*)(Display*, unsigned, int, unsigned long);
    using Key = int (*)(Display*, unsigned, int, unsigned long);
    Display* display = nullptr;
    Motion motion = nullptr;
    Button button = nullptr;
    Key key = nullptr;
    bool load(Display* d)
    {
        display = d;
        void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!xtst)
            return false;
        motion = reinterpret_cast<Motion>(dlsym(xtst, "XTestFakeMotionEvent"));
        button = reinterpret_cast<Button>(dlsym(xtst, "XTestFakeButtonEvent"));
        key = reinterpret_cast<Key>(dlsym(xtst, "XTestFakeKeyEvent"));
        return motion && button && key;
    }
    void moveTo(int x, int y)
    {
        motion(display, -1, x, y, 0);
        XSync(display, 0);
    }
    void press(bool down)
    {
        button(display, 1, down, 0);
        XSync(display, 0);
    }
    void shift(bool down)
    {
        key(display, XKeysymToKeycode(display, XK_Shift_L), down, 0);
        XSync(display, 0);
    }
};

#endif

TEST(SliderDisplay, DraggingScrubsAndShiftDraggingSelects)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);

    // Ten seconds of pictures; the time display's part is played by the media source and two observers.
    auto movie = movara::test::pictureMovie(600, 60, 100);
    MVPLCDMediaSource source;
    source.setMovie(movie);
    auto window = std::make_shared<HXWindow>(HXMakeRect(120, 200, 400, 60), HXTitledWindowMask);
    window->setTitle("Timeline");
    auto slider = MVPSliderView::sliderViewWithFrame(HXMakeRect(20, 20, 360, 20), &source, 0);
    slider->setEditingEnabled(true);
    window->contentView()->addSubview(slider);
    std::vector<HXObserverToken> observers;
    for (const char* note : { MVMovieTimeDidChangeNotification, MVMovieSelectionDidChangeNotification })
        observers.push_back(
            HXNotificationCenter::defaultCenter().addObserver(note, movie.get(), [&](const HXNotification&) {
                slider->updateCurrentTime();
                slider->updateSelection();
            }));
    window->makeKeyAndOrderFront();
    runFor(*app, 1.0);
    ASSERT_TRUE(slider->playHeadButton());

    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    FakeInput input;
    ASSERT_TRUE(input.load(display)) << "libXtst is not available";
    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty());
    double screenHeight = screens.front().frame().size.height;
    // A point of the track at `percent` of its width, on the screen.
    auto track = slider->accessibilityTimeLineView();
    auto at = [&](double percent) {
        HXRect b = track->bounds();
        HXPoint p = window->convertBaseToScreen(
            track->convertPointToView({ b.size.width * percent, b.size.height / 2 }, nullptr));
        return std::pair<int, int> { int(std::lround(p.x)), int(std::lround(screenHeight - p.y)) };
    };
    auto drag = [&](double from, double to) {
        auto [x0, y0] = at(from);
        input.moveTo(x0, y0);
        runFor(*app, 0.2);
        input.press(true);
        runFor(*app, 0.2);
        for (int step = 1; step <= 5; ++step) {
            auto [x, y] = at(from + (to - from) * step / 5);
            input.moveTo(x, y);
            runFor(*app, 0.1);
        }
        input.press(false);
        runFor(*app, 0.3);
    };
    auto seconds = [](MVTime t) {
        double s = 0;
        MVGetTimeInterval(t, &s);
        return s;
    };

    // A drag along the track moves the movie with it.
    movie->setRate(1);
    drag(0.25, 0.75);
    EXPECT_NEAR(seconds(movie->currentTime()), 7.5, 0.15);
    EXPECT_EQ(movie->rate(), 1.0f) << "playing again after the scrub";
    EXPECT_NEAR(slider->playHeadButton()->frame().origin.x, std::round(343 * 0.75) + 2, 2);
    movie->stop();

    // With Shift held: from the time (7.5 s) back to 2.5 s selects that span, then the drag on to 1 s
    // moves the selection's nearer end with it.
    input.shift(true);
    runFor(*app, 0.2);
    drag(0.25, 0.1);
    input.shift(false);
    runFor(*app, 0.2);
    EXPECT_NEAR(seconds(movie->selection().time), 1.0, 0.15);
    EXPECT_NEAR(seconds(movie->selection().time) + seconds(movie->selection().duration), 7.5, 0.15);
    auto start = slider->selectionStartMarkerButton();
    auto end = slider->selectionEndMarkerButton();
    ASSERT_TRUE(start && end);
    EXPECT_FALSE(start->isHidden());
    EXPECT_FALSE(end->isHidden());
    EXPECT_NEAR(start->frame().origin.x, 343 * 0.1, 2);
    EXPECT_NEAR(end->frame().origin.x, 343 * 0.75 + 8, 2);
    EXPECT_EQ(start->imageName(), "LCDSliderSelectionStartMarkerOff.tif")
        << "drawn with the selection's line";

    XCloseDisplay(display);
    for (auto token : observers)
        HXNotificationCenter::defaultCenter().removeObserver(token);
    slider->setMediaSource(nullptr);
    window->orderOut();
    HXApplication::setSharedApplication(nullptr);
#endif
}

} // namespace
