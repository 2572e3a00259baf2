// The transport bar and the volume control in a real window on an X display: the screen shows the
// artwork the toolkit drew (a screenshot is kept as controls_transport_bar.png in the tests' build
// folder), and a click made through the X server on Play starts the movie, on Pause stops it — also a
// real movie file, whose time then moves and stops.
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/winkit/application.h"
#if __has_include("platform/winkit/sdl_window_server.h")
#include "platform/winkit/sdl_window_server.h"
#define MOVARA_HAVE_SDL_BACKEND 1
#endif
#include "platform/winkit/window.h"
#include "player/controls/image_button.h"
#include "player/controls/movie_controls_view.h"
#include "player/controls/movie_volume_view.h"
#include "test_support.h"

#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// Last: it brings Xlib.
#include "display_capture.h"

#ifdef MOVARA_HAVE_SDL_BACKEND
using movara::test::display::runFor;
#endif

namespace {

#ifdef MOVARA_HAVE_SDL_BACKEND

// The X server's test extension, loaded at run time.
struct FakeInput {
    using Motion = int (*)(Display*, int, int, int, unsigned long);
    using Button = int (*)(Display*, unsigned, int, unsigned long);
    Motion motion = nullptr;
    Button button = nullptr;
    bool load()
    {
        void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!xtst)
            return false;
        motion = reinterpret_cast<Motion>(dlsym(xtst, "XTestFakeMotionEvent"));
        button = reinterpret_cast<Button>(dlsym(xtst, "XTestFakeButtonEvent"));
        return motion && button;
    }
    void click(Display* d, int x, int y)
    {
        motion(d, -1, x, y, 0);
        XFlush(d);
        button(d, 1, 1, 10);
        button(d, 1, 0, 60);
        XSync(d, 0);
    }
};

double seconds(MVTime time)
{
    double value = 0;
    MVGetTimeInterval(time, &value);
    return value;
}

// Where a point of `view` is on the X screen, for a window whose content starts at (left, top) and is
// `height` high.
std::pair<int, int> screenPoint(const HXView& view, HXPoint p, int left, int top, int height)
{
    HXPoint base = view.convertPointToView(p, nullptr);
    return { left + int(base.x), top + height - int(base.y) };
}

#endif

} // namespace

TEST(ControlsDisplay, TheTransportBarPlaysAndPausesOnARealClick)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);

    // A two-second movie with a picture track; its rate is what the bar sets.
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVFourCC("vide"), 600, 160, 120);
    MVSampleDescription d;
    d.format = MVFourCC("mp4v");
    d.data = { 0, 0, 0, 0 };
    track->media()->addSample({ 0 }, 1200, 1, MVSampleDescriptionBytes(d), 0);
    track->insertMedia(0, 0, 1200);

    auto window = std::make_shared<HXWindow>(HXMakeRect(120, 160, 320, 60), HXTitledWindowMask);
    window->setTitle("Transport");
    HXSize barSize = MVPMovieControlsView::naturalSize(0);
    auto bar = MVPMovieControlsView::create(HXMakeRect(10, 10, barSize.width, barSize.height), movie, 0);
    window->contentView()->addSubview(bar);
    HXSize volumeSize = MVPMovieVolumeView::naturalSize(0);
    auto volume = MVPMovieVolumeView::create(
        HXMakeRect(240, 10 + (barSize.height - volumeSize.height) / 2, volumeSize.width, volumeSize.height),
        movie, 0);
    window->contentView()->addSubview(volume);
    window->makeKeyAndOrderFront();
    bar->update();
    runFor(*app, 1.0);

    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty());
    double screenHeight = screens.front().frame().size.height;
    HXRect frame = window->contentRectForFrameRect(window->frame());
    int width = int(frame.size.width), height = int(frame.size.height);
    int left = int(frame.origin.x), top = int(screenHeight - (frame.origin.y + frame.size.height));

    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width),
        unsigned(height), AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    int mismatches = 0, dark = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y) & 0xFFFFFF;
            if (pixel != (window->renderedPixelRGBA(x, y) >> 8))
                ++mismatches;
            dark += ((pixel >> 16) & 0xFF) < 90 && ((pixel >> 8) & 0xFF) < 90 && (pixel & 0xFF) < 90;
        }
    EXPECT_LT(mismatches, width * height / 100) << "the screen shows what the toolkit drew";
    EXPECT_GT(dark, 200) << "the dark glyphs and the play button's plate show";

    std::string shot = std::string(MOVARA_TEST_BINARY_DIR) + "/controls_transport_bar.png";
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t p = uint32_t(XGetPixel(image, x, y));
            std::memcpy(
                cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4, &p, 4);
        }
    cairo_surface_mark_dirty(s);
    EXPECT_EQ(cairo_surface_write_to_png(s, shot.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    XDestroyImage(image);

    FakeInput input;
    ASSERT_TRUE(input.load()) << "libXtst is not available";
    auto center = bar->button(MVPMovieControlsView::CenterButton);
    HXPoint base
        = center->convertPointToView({ HXMidX(center->bounds()), HXMidY(center->bounds()) }, nullptr);
    int cx = left + int(base.x), cy = top + height - int(base.y);

    input.click(display, cx, cy);
    runFor(*app, 0.5);
    EXPECT_EQ(movie->rate(), 1.0f) << "Play was clicked";
    EXPECT_TRUE(bar->isPlaying());
    EXPECT_EQ(center->action().name(), "pause:");

    input.click(display, cx, cy);
    runFor(*app, 0.5);
    EXPECT_EQ(movie->rate(), 0.0f) << "Pause was clicked";
    EXPECT_FALSE(bar->isPlaying());

    // Fast forward plays at twice the speed while the button is held down, and no longer. The press is
    // tracked in a loop of its own: the button is let go from there, after a look at the rate.
    auto forward = bar->button(MVPMovieControlsView::RightCenterButton);
    auto [fx, fy]
        = screenPoint(*forward, { HXMidX(forward->bounds()), HXMidY(forward->bounds()) }, left, top, height);
    float heldRate = -1;
    HXRunLoop::main().performAfterDelay(&heldRate, 0.4,
        [&] {
            heldRate = movie->rate();
            input.button(display, 1, 0, 10);
            XSync(display, 0);
        },
        { HXEventTrackingRunLoopMode });
    input.motion(display, -1, fx, fy, 0);
    input.button(display, 1, 1, 10);
    XSync(display, 0);
    runFor(*app, 1.0);
    EXPECT_EQ(heldRate, 2.0f) << "while held";
    EXPECT_EQ(movie->rate(), 0.0f) << "after letting go";

    // The speaker button mutes.
    auto speaker = volume->volumeButton();
    HXPoint sb = speaker->convertPointToView({ 9, 9 }, nullptr);
    input.click(display, left + int(sb.x), top + height - int(sb.y));
    runFor(*app, 0.5);
    EXPECT_TRUE(movie->isMuted());
    XCloseDisplay(display);

    window->orderOut();
    HXApplication::setSharedApplication(nullptr);
#endif
}

TEST(ControlsDisplay, PlayingARealMovieFromTheBarMovesItsTimeUntilPaused)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    movara::test::TempDir dir;
    std::string path = (dir / "clip.mov").string();
    auto made = movara::test::runCommand({ "ffmpeg", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=160x120:rate=10", "-t", "3", "-c:v", "mpeg4", "-y", path });
    ASSERT_EQ(made.status, 0);
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();

    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);
    auto playback = MVMoviePlayback::playbackForMovie(movie);
    auto window = std::make_shared<HXWindow>(HXMakeRect(140, 200, 240, 60), HXTitledWindowMask);
    auto bar = MVPMovieControlsView::create(HXMakeRect(11, 10, 218, 41), movie, 0);
    window->contentView()->addSubview(bar);
    window->makeKeyAndOrderFront();
    runFor(*app, 0.5);

    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty());
    double screenHeight = screens.front().frame().size.height;
    HXRect frame = window->contentRectForFrameRect(window->frame());
    int height = int(frame.size.height);
    int left = int(frame.origin.x), top = int(screenHeight - (frame.origin.y + frame.size.height));
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    FakeInput input;
    ASSERT_TRUE(input.load()) << "libXtst is not available";
    auto center = bar->button(MVPMovieControlsView::CenterButton);
    auto [cx, cy]
        = screenPoint(*center, { HXMidX(center->bounds()), HXMidY(center->bounds()) }, left, top, height);

    double before = seconds(playback->currentTime());
    input.click(display, cx, cy);
    runFor(*app, 1.0);
    double playing = seconds(playback->currentTime());
    EXPECT_TRUE(movie->isPlaying());
    EXPECT_GT(playing - before, 0.3) << "the time moves while the movie plays";

    input.click(display, cx, cy);
    runFor(*app, 0.3);
    EXPECT_FALSE(movie->isPlaying());
    double paused = seconds(playback->currentTime());
    runFor(*app, 0.5);
    EXPECT_DOUBLE_EQ(seconds(playback->currentTime()), paused) << "and stands still once paused";
    EXPECT_EQ(center->action().name(), "play:");
    XCloseDisplay(display);

    window->orderOut();
    HXApplication::setSharedApplication(nullptr);
#endif
}
