// The time display on a real X display under a movie view: the time shown and the playhead follow the
// movie as it steps and while it plays, keys pass through to the movie, and a time typed into the
// time-code field moves the movie.
// A screenshot is kept as lcd_view.png in the tests' build folder.
#include "test_support.h"

#include "player/timeline/lcd_view.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Last: it brings Xlib, whose macros clash with names in the headers above.
#include "display_capture.h"

#ifdef MOVARA_HAVE_SDL_BACKEND
using movara::test::display::runFor;
#endif

namespace {

#ifdef MOVARA_HAVE_SDL_BACKEND
HXEvent key(const HXWindow& window, const std::string& characters, uint32_t flags = 0)
{
    return HXEvent::keyEvent(
        HXKeyDown, HXMakePoint(0, 0), flags, 0, window.windowNumber(), characters, characters, false, 0);
}

int64_t seconds(const MVMovie& movie)
{
    return MVTimeInScaleFloor(movie.currentTime(), 1).timeValue;
}
#endif

TEST(LCDViewDisplay, TheTimeFollowsTheMovieAndATypedTimeMovesIt)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "no ffmpeg to make the movie";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
    movara::test::TempDir folder;
    std::string path = (folder / "count.mov").string();
    auto made = movara::test::runCommand({ "ffmpeg", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=160x120:rate=30:duration=20", "-c:v", "mpeg4", "-q:v", "5", path });
    ASSERT_EQ(made.status, 0);
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();

    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);

    auto window = std::make_shared<HXWindow>(HXMakeRect(120, 160, 360, 154), HXTitledWindowMask);
    window->setTitle("Time display");
    auto movieView = std::make_shared<MVMovieView>(HXMakeRect(100, 30, 160, 120));
    movieView->setMovie(movie);
    auto lcd = MVPLCDView::LCDViewWithFrame(HXMakeRect(0, 2, 360, 24), movie, movieView);
    window->contentView()->addSubview(movieView);
    window->contentView()->addSubview(lcd);
    window->makeKeyAndOrderFront();
    runFor(*app, 0.5);

    auto field = lcd->timeCodeField();
    ASSERT_NE(field, nullptr);
    ASSERT_NE(lcd->scrollView(), nullptr);
    EXPECT_EQ(field->stringValue(), "00:00:00");

    // The movie jumps: the field shows the new time at its next drawing.
    movie->setCurrentTime(MVMakeTime(5, 1));
    runFor(*app, 0.3);
    EXPECT_EQ(field->stringValue(), "00:00:05");

    // Keys on the display go to the movie: a right arrow steps one frame (shown in frame numbers).
    field->chooseFormatter(5);
    lcd->keyDown(key(*window, HXStringFromCharacter(HXRightArrowFunctionKey)));
    runFor(*app, 0.3);
    EXPECT_EQ(field->stringValue(), "151 F");
    field->chooseFormatter(1);

    // Play for a second; when play stops the time shown has moved on with the movie.
    lcd->keyDown(key(*window, " "));
    EXPECT_TRUE(lcd->isPlaying());
    EXPECT_NE(lcd->timeTimer(), nullptr);
    double startPercent = lcd->mediaSource().currentTimePercent();
    runFor(*app, 1.2);
    EXPECT_NE(field->stringValue(), "00:00:05") << "the time runs while the movie plays";
    EXPECT_GT(lcd->mediaSource().currentTimePercent(), startPercent + 0.02) << "and so does the playhead";
    lcd->keyDown(key(*window, " "));
    runFor(*app, 0.3);
    EXPECT_FALSE(lcd->isPlaying());
    EXPECT_GE(seconds(*movie), 6);
    EXPECT_EQ(field->stringValue(), "00:00:0" + std::to_string(seconds(*movie)));

    // Back-tab into the field selects its seconds; typing 1 2 and Return moves the movie there.
    window->makeFirstResponder(nullptr);
    window->setInitialFirstResponder(field);
    app->sendEvent(key(*window, std::string(1, char(25))));
    ASSERT_TRUE(field->isEditing());
    for (const char* c : { "1", "2", "\r" })
        app->sendEvent(key(*window, c));
    runFor(*app, 0.3);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(seconds(*movie), 12);
    EXPECT_EQ(field->stringValue(), "00:00:12");

    // What the screen shows: the display's background and text across its width.
    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty());
    double screenHeight = screens.front().frame().size.height;
    HXRect content = window->contentRectForFrameRect(window->frame());
    int width = int(content.size.width);
    int height = int(content.size.height);
    int left = int(content.origin.x);
    int top = int(screenHeight - (content.origin.y + content.size.height));
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width),
        unsigned(height), AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    // The display's pale panel across its width, and the time's digits dark on it.
    auto pixel
        = [&](int x, int yFromBottom) { return XGetPixel(image, x, height - 1 - yFromBottom) & 0xFFFFFF; };
    unsigned long panel = pixel(12, 14);
    EXPECT_GT((panel >> 8) & 0xFF, (panel & 0xFF) + 8) << std::hex << panel << " is the panel's green";
    int dark = 0;
    for (int y = 4; y < 24; ++y)
        for (int x = 0; x < 90; ++x)
            dark += (pixel(x, y) & 0xFF) < 0x90;
    EXPECT_GT(dark, 20) << "the time's digits show";
    std::string shot = std::string(MOVARA_TEST_BINARY_DIR) + "/lcd_view.png";
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
    XCloseDisplay(display);

    lcd->removeFromSuperview();
    window->orderOut();
#endif
}

// A movie with chapters plays from one chapter into the next: the chapter menu names the chapter it
// plays and the time shown counts from that chapter's start, as it plays, without a jump of the time.
TEST(LCDViewDisplay, AChapterPlayedIntoIsShown)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "no ffmpeg to make the movie";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
    movara::test::TempDir folder;
    auto path = folder / "chapters.mov";
    ASSERT_TRUE(movara::test::makeChapteredMovie(path, { "One", "Two", "Three" }, 2));
    HXError error;
    auto movie = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);
    auto window = std::make_shared<HXWindow>(HXMakeRect(120, 160, 360, 154), HXTitledWindowMask);
    auto movieView = std::make_shared<MVMovieView>(HXMakeRect(100, 30, 160, 120));
    movieView->setMovie(movie);
    auto lcd = MVPLCDView::LCDViewWithFrame(HXMakeRect(0, 2, 360, 24), movie, movieView);
    window->contentView()->addSubview(movieView);
    window->contentView()->addSubview(lcd);
    window->makeKeyAndOrderFront();
    movie->setCurrentTime(MVMakeTime(17, 10));
    runFor(*app, 0.3);
    ASSERT_NE(lcd->chapterPopUpButton(), nullptr);
    EXPECT_EQ(lcd->chapterPopUpButton()->titleOfSelectedItem(), "One");

    movie->setRate(1);
    double played = 0;
    runFor(*app, 3, 0.05, [&] {
        if (lcd->chapterPopUpButton()->titleOfSelectedItem() == "Two" && played == 0) {
            played = MVTimeInScaleFloor(movie->currentTime(), 1000).timeValue / 1000.0;
            movie->setRate(0);
        }
    });
    movie->setRate(0);
    EXPECT_GT(played, 2.0) << "the menu follows the chapter played into";
    EXPECT_LT(played, 2.8) << "within a refresh of the display";
    EXPECT_EQ(lcd->mediaSource().timeStart().timeValue,
        MVTimeInScale(MVMakeTime(2, 1), movie->timeScale()).timeValue)
        << "the slider spans the chapter";
    EXPECT_EQ(
        lcd->timeCodeField()->timeOrigin(), MVTimeInScale(MVMakeTime(2, 1), movie->timeScale()).timeValue)
        << "the time counts from the chapter's start";
    lcd->removeFromSuperview();
    window->orderOut();
#endif
}

} // namespace
