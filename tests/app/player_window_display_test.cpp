// The real movara-player on an X display, opening the featured movie's file: the movie shows in the standard
// player window with the controls below it (a screenshot is kept as player_window.png in the tests' build
// folder); a click on Play and the space key start and stop playback; the arrow keys step frames, End and
// Home go to the ends, K held with L steps; dragging the grow box keeps the movie's proportions, and with
// Option held snaps the size to the scale steps.
//
// The test drives the program only from outside: fake input through the X server's test extension, and
// the program's answers to its "documents" request over the per-user socket.
#include "app/request_server.h"

#include "platform/basekit/property_list.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/panorama/hotspot.h"
#include "platform/mvkit/panorama/node.h"

#include "caption_fixtures.h"
#include "png_image.h"
#include "print_scheduler.h"
#include "test_support.h"

#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

using Dict = HXPropertyList::Dictionary;

const std::string kProgram = std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player";
constexpr double kTitleBar = 22; // drawn by the desktop, outside the X window

void sleepFor(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

struct Rect {
    double x = 0, y = 0, w = 0, h = 0;
};

Rect rectOf(const HXPropertyList& list)
{
    const auto& a = list.arrayValue();
    if (a.size() != 4)
        return {};
    return { a[0].realValue(), a[1].realValue(), a[2].realValue(), a[3].realValue() };
}

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
    void click(int x, int y)
    {
        moveTo(x, y);
        button(display, 1, 1, 10);
        button(display, 1, 0, 80);
        XSync(display, 0);
    }
    void drag(int x, int y, int toX, int toY)
    {
        moveTo(x, y);
        button(display, 1, 1, 10);
        XSync(display, 0);
        for (int i = 1; i <= 8; ++i) {
            motion(display, -1, x + (toX - x) * i / 8, y + (toY - y) * i / 8, 40);
            XSync(display, 0);
        }
        button(display, 1, 0, 80);
        XSync(display, 0);
    }
    // Wheel notches: X buttons 4 and 5 scroll up and down, 6 and 7 left and right.
    void wheel(unsigned which, int notches)
    {
        for (int i = 0; i < notches; ++i) {
            button(display, which, 1, 10);
            button(display, which, 0, 10);
        }
        XSync(display, 0);
    }
    void press(KeySym sym, bool down)
    {
        key(display, XKeysymToKeycode(display, sym), down ? 1 : 0, 10);
        XSync(display, 0);
    }
    void type(KeySym sym)
    {
        press(sym, true);
        press(sym, false);
    }
};

// The player program, started with the test's own user folders, and what it says about its documents.
class Player {
public:
    ~Player()
    {
        if (_pid > 0) {
            request("quit");
            for (int i = 0; i < 100 && waitpid(_pid, nullptr, WNOHANG) == 0; ++i)
                sleepFor(0.05);
            if (waitpid(_pid, nullptr, WNOHANG) == 0) {
                kill(_pid, SIGKILL);
                waitpid(_pid, nullptr, 0);
            }
        }
    }

    // Opens `moviePath`, by default the featured movie's file as an ordinary movie: started with nothing to
    // open, the program would show it in the featured movie's own window instead.
    bool start(std::string movie = std::string(MOVARA_BUNDLE_DIR) + "/Resources/tvbutton.mov")
    {
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 1);
        _pid = fork();
        if (_pid == 0) {
            execl(kProgram.c_str(), kProgram.c_str(), movie.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return _pid > 0;
    }

    std::optional<HXPropertyList> request(const std::string& command)
    {
        Dict message { { MVPRequestCommandKey, HXPropertyList(command) } };
        return MVPRequestServer::sendRequest(HXPropertyList(std::move(message)), 5);
    }

    // The player window's status of the first movie document (empty when there is none yet).
    Dict window()
    {
        auto reply = request("documents");
        if (!reply)
            return {};
        for (const auto& doc : (*reply)["documents"].arrayValue())
            if (doc["kind"].stringValue() == "movie")
                return doc["playerWindow"].dictionaryValue();
        return {};
    }

    // The status once `ready` holds (or the last one after `seconds`).
    Dict windowWhen(const std::function<bool(const Dict&)>& ready, double seconds = 30)
    {
        Dict last;
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            last = window();
            if (!last.empty() && ready(last))
                return last;
            sleepFor(0.1);
        }
        return last;
    }

    double time() { return window()["currentTime"].realValue(); }
    double rate() { return window()["rate"].realValue(); }

private:
    pid_t _pid = -1;
};

// Keeps an image read from the X screen as a PNG file.
bool writePNG(XImage* image, const std::string& file)
{
    int width = image->width, height = image->height;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t p = uint32_t(XGetPixel(image, x, y));
            std::memcpy(
                cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4,
                &p, 4);
        }
    cairo_surface_mark_dirty(surface);
    bool written = cairo_surface_write_to_png(surface, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

double value(const Dict& d, const char* key)
{
    auto it = d.find(key);
    return it == d.end() ? 0 : it->second.realValue();
}

} // namespace

TEST(PlayerWindowDisplay, TheFeaturedMovieInTheStandardWindow)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    if (access(kProgram.c_str(), X_OK) != 0)
        GTEST_SKIP() << "the program is not built";
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    FakeInput input;
    ASSERT_TRUE(input.load(display)) << "libXtst is not available";
    const int screenHeight = DisplayHeight(display, DefaultScreen(display));

    Player player;
    ASSERT_TRUE(player.start());
    Dict status = player.windowWhen([](const Dict& s) {
        auto visible = s.find("visible");
        return visible != s.end() && visible->second.boolValue() && s.count("movieRect");
    });
    ASSERT_EQ(status["kind"].stringValue(), "standard");
    ASSERT_TRUE(status["visible"].boolValue());
    sleepFor(1.0); // the first picture is decoded and drawn

    // X coordinates of a point given in the player's screen coordinates (origin bottom left).
    auto xPoint = [&](double x, double y) { return std::pair<int, int>(int(std::lround(x)), int(std::lround(screenHeight - y))); };

    // ---- The screenshot: the colour bars above, the controls below. ----
    status = player.window();
    Rect frame = rectOf(status["windowFrame"]);
    Rect movie = rectOf(status["movieRect"]);
    Rect controls = rectOf(status["controlsRect"]);
    ASSERT_GT(movie.w, 0);
    EXPECT_NEAR(movie.w / movie.h, 320.0 / 240.0, 0.02);
    int left = int(frame.x), top = int(screenHeight - (frame.y + frame.h - kTitleBar));
    int width = int(frame.w), height = int(frame.h - kTitleBar);
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width), unsigned(height),
        AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    auto pixelAt = [&](double x, double y) {
        auto [px, py] = xPoint(x, y);
        return uint32_t(XGetPixel(image, px - left, py - top)) & 0xFFFFFFu;
    };
    // Several strongly coloured bars across the middle of the picture.
    std::set<uint32_t> colours;
    for (int i = 0; i < 14; ++i) {
        uint32_t p = pixelAt(movie.x + movie.w * (i + 0.5) / 14, movie.y + movie.h * 0.7);
        colours.insert(p & 0xC0C0C0u);
    }
    EXPECT_GE(colours.size(), 5u) << "the colour bars show in the picture";
    // The transport bar's dark glyphs and plates in the strip.
    int dark = 0;
    for (double y = controls.y + 2; y < controls.y + 40; y += 1)
        for (double x = controls.x + 10; x < controls.x + controls.w - 10; x += 2) {
            uint32_t p = pixelAt(x, y);
            dark += ((p >> 16) & 0xFF) < 90 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90;
        }
    EXPECT_GT(dark, 100) << "the controls show below the picture";

    EXPECT_TRUE(writePNG(image, std::string(MOVARA_TEST_BINARY_DIR) + "/player_window.png"));
    XDestroyImage(image);

    // ---- A click on Play plays, a click on Pause stops. ----
    ASSERT_TRUE(status.count("playButtonRect")) << "the transport bar is in the strip";
    Rect play = rectOf(status["playButtonRect"]);
    auto [playX, playY] = xPoint(play.x + play.w / 2, play.y + play.h / 2);
    double before = player.time();
    input.click(playX, playY);
    status = player.windowWhen([](const Dict& s) { return value(s, "rate") != 0; }, 5);
    EXPECT_NE(value(status, "rate"), 0) << "Play starts the movie";
    sleepFor(0.6);
    double playing = player.time();
    EXPECT_GT(playing, before + 0.2) << "the time moves while playing";
    input.click(playX, playY);
    status = player.windowWhen([](const Dict& s) { return value(s, "rate") == 0; }, 5);
    EXPECT_EQ(value(status, "rate"), 0) << "Pause stops the movie";
    double stopped = player.time();
    sleepFor(0.5);
    EXPECT_EQ(player.time(), stopped) << "the time stands still once stopped";

    // ---- The keyboard goes to the movie view: a click on the picture gives it the focus. ----
    auto [movieX, movieY] = xPoint(movie.x + movie.w / 2, movie.y + movie.h / 2);
    input.click(movieX, movieY);
    status = player.windowWhen([](const Dict& s) { return s.count("movieViewFocused") && s.at("movieViewFocused").boolValue(); }, 5);
    EXPECT_TRUE(status["movieViewFocused"].boolValue());

    input.type(XK_Home);
    player.windowWhen([](const Dict& s) { return value(s, "currentTime") == 0; }, 5);
    input.type(XK_space);
    status = player.windowWhen([](const Dict& s) { return value(s, "rate") != 0; }, 5);
    EXPECT_NE(value(status, "rate"), 0) << "space plays";
    sleepFor(0.6);
    EXPECT_GT(player.time(), 0.2) << "the time moves";
    input.type(XK_space);
    status = player.windowWhen([](const Dict& s) { return value(s, "rate") == 0; }, 5);
    EXPECT_EQ(value(status, "rate"), 0) << "space stops";
    stopped = player.time();
    sleepFor(0.5);
    EXPECT_EQ(player.time(), stopped);

    // ---- Frame steps and the ends (25 frames a second). ----
    const double frameLength = 1.0 / 25;
    input.type(XK_Home);
    player.windowWhen([](const Dict& s) { return value(s, "currentTime") == 0; }, 5);
    EXPECT_EQ(player.time(), 0) << "Home goes to the start";
    const struct {
        KeySym key;
        double frames;
    } steps[] = { { XK_Right, 1 }, { XK_Right, 2 }, { XK_Right, 3 }, { XK_Left, 2 } };
    for (const auto& s : steps) {
        input.type(s.key);
        double expected = s.frames * frameLength;
        player.windowWhen([&](const Dict& d) { return std::fabs(value(d, "currentTime") - expected) < 0.005; }, 5);
        EXPECT_NEAR(player.time(), expected, 0.005) << XKeysymToString(s.key);
    }
    // K held: L steps one frame forward instead of playing.
    input.press(XK_k, true);
    input.type(XK_l);
    input.press(XK_k, false);
    player.windowWhen([&](const Dict& d) { return std::fabs(value(d, "currentTime") - 3 * frameLength) < 0.005; }, 5);
    EXPECT_NEAR(player.time(), 3 * frameLength, 0.005) << "K and L";
    EXPECT_EQ(player.rate(), 0);
    double duration = value(player.window(), "duration");
    input.type(XK_End);
    player.windowWhen([&](const Dict& d) { return std::fabs(value(d, "currentTime") - duration) < 0.005; }, 5);
    EXPECT_NEAR(player.time(), duration, 0.005) << "End goes to the end";

    // ---- Dragging the grow box keeps the movie's proportions. ----
    status = player.window();
    Rect thumb = rectOf(status["resizeThumbRect"]);
    Rect before_frame = rectOf(status["windowFrame"]);
    int thumbX, thumbY;
    std::tie(thumbX, thumbY) = xPoint(thumb.x + thumb.w / 2, thumb.y + thumb.h / 2);
    input.drag(thumbX, thumbY, thumbX + 160, thumbY + 40);
    status = player.windowWhen([&](const Dict& s) { return rectOf(s.at("windowFrame")).w > before_frame.w + 20; }, 5);
    Rect after = rectOf(status["windowFrame"]);
    EXPECT_GT(after.w, before_frame.w + 20) << "the window grew";
    EXPECT_NEAR(after.y + after.h, before_frame.y + before_frame.h, 1) << "its top edge stayed";
    const auto& size = status["movieSize"].arrayValue();
    ASSERT_EQ(size.size(), 2u);
    EXPECT_NEAR(size[0].realValue() / size[1].realValue(), 320.0 / 240.0, 0.02) << "the movie kept 4:3";

    // With Option held the size snaps to the scale steps: a drag to about 1.6 times gives 1.5 times.
    thumb = rectOf(status["resizeThumbRect"]);
    std::tie(thumbX, thumbY) = xPoint(thumb.x + thumb.w / 2, thumb.y + thumb.h / 2);
    double heightBefore = size[1].realValue();
    input.press(XK_Alt_L, true);
    input.drag(thumbX, thumbY, thumbX + 120, thumbY + int(std::lround(380 - heightBefore)));
    input.press(XK_Alt_L, false);
    status = player.windowWhen([&](const Dict& s) { return s.at("movieSize").arrayValue()[1].realValue() != heightBefore; }, 5);
    const auto& snapped = status["movieSize"].arrayValue();
    ASSERT_EQ(snapped.size(), 2u);
    EXPECT_EQ(snapped[0].realValue(), 480);
    EXPECT_EQ(snapped[1].realValue(), 360);
    XCloseDisplay(display);
}

// A movie with three chapters (one second each, made by ffmpeg from an ffmetadata file): the transport bar's
// outer buttons go by chapter (a screenshot is kept as player_chapters.png), Command-Shift-Right Arrow (the
// View menu's Next Chapter) moves to the second chapter and Command-Shift-Left Arrow back, and clicks on the
// bar's right button step through the chapters to the end.
TEST(PlayerWindowDisplay, ChaptersFromTheMoviesChapterTrack)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    if (access(kProgram.c_str(), X_OK) != 0)
        GTEST_SKIP() << "the program is not built";
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg makes the movie";
    movara::test::TempDir dir;
    auto path = dir / "three chapters.mov";
    ASSERT_TRUE(movara::test::makeChapteredMovie(path, { "One", "Two", "Three" }));
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    FakeInput input;
    ASSERT_TRUE(input.load(display)) << "libXtst is not available";
    const int screenHeight = DisplayHeight(display, DefaultScreen(display));
    auto xPoint = [&](double x, double y) {
        return std::pair<int, int>(int(std::lround(x)), int(std::lround(screenHeight - y)));
    };

    Player player;
    ASSERT_TRUE(player.start(path.string()));
    Dict status = player.windowWhen([](const Dict& s) {
        auto visible = s.find("visible");
        return visible != s.end() && visible->second.boolValue() && s.count("transportActions");
    });
    ASSERT_TRUE(status["visible"].boolValue());
    const auto& actions = status["transportActions"].arrayValue();
    ASSERT_EQ(actions.size(), 5u);
    EXPECT_EQ(actions[0].stringValue(), "gotoBeginningOfChapter:");
    EXPECT_EQ(actions[4].stringValue(), "gotoNextChapter:");
    sleepFor(1.0); // the first picture is decoded and drawn

    // The keys: the View menu's chapter commands.
    auto chord = [&](KeySym arrow) {
        input.press(XK_Control_L, true);
        input.press(XK_Shift_L, true);
        input.type(arrow);
        input.press(XK_Shift_L, false);
        input.press(XK_Control_L, false);
    };
    auto near = [](double to) {
        return [to](const Dict& d) { return std::fabs(value(d, "currentTime") - to) < 0.05; };
    };
    // The keyboard goes to the window under the pointer: a click on the picture.
    Rect picture = rectOf(status["movieRect"]);
    auto [pictureX, pictureY] = xPoint(picture.x + picture.w / 2, picture.y + picture.h / 2);
    input.click(pictureX, pictureY);
    sleepFor(0.3);
    EXPECT_NEAR(player.time(), 0, 0.05);
    chord(XK_Right);
    player.windowWhen(near(1.0), 5);
    EXPECT_NEAR(player.time(), 1.0, 0.05) << "the next chapter key goes to the second chapter";

    // The screenshot: the bar under the picture, the chapter's name in the time display.
    sleepFor(0.5);
    status = player.window();
    Rect frame = rectOf(status["windowFrame"]);
    int left = int(frame.x), top = int(screenHeight - (frame.y + frame.h - kTitleBar));
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(frame.w),
        unsigned(frame.h - kTitleBar), AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    EXPECT_TRUE(writePNG(image, std::string(MOVARA_TEST_BINARY_DIR) + "/player_chapters.png"));
    XDestroyImage(image);

    chord(XK_Left);
    player.windowWhen(near(0.0), 5);
    EXPECT_NEAR(player.time(), 0.0, 0.05) << "the previous chapter key goes back to the first";

    // The bar's right button: chapter after chapter, then the end.
    ASSERT_TRUE(status.count("rightButtonRect"));
    Rect right = rectOf(status["rightButtonRect"]);
    auto [rightX, rightY] = xPoint(right.x + right.w / 2, right.y + right.h / 2);
    double duration = value(status, "duration");
    for (double to : { 1.0, 2.0, duration }) {
        input.click(rightX, rightY);
        player.windowWhen(near(to), 5);
        EXPECT_NEAR(player.time(), to, 0.05) << "the next chapter button";
    }
    XCloseDisplay(display);
}

// A movie with a closed-caption track made by the ffmpeg command line: played to its first caption, the
// picture shows no caption until View > Show Closed Captioning turns them on; then the caption's text is
// drawn over the picture (a screenshot is kept as player_captions.png), and turning them off takes it away.
TEST(PlayerWindowDisplay, ClosedCaptionsShowWhenTurnedOn)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    if (access(kProgram.c_str(), X_OK) != 0)
        GTEST_SKIP() << "the program is not built";
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg makes the movie";
    movara::test::TempDir dir;
    auto path = dir / "captions.mov";
    ASSERT_TRUE(movara::test::makeCaptionTrackMovie(path, { { 1.0, "HELLO CAPTIONS" }, { 3.5, "" } }));
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    FakeInput input;
    ASSERT_TRUE(input.load(display)) << "libXtst is not available";
    const int screenHeight = DisplayHeight(display, DefaultScreen(display));

    Player player;
    ASSERT_TRUE(player.start(path.string()));
    Dict status = player.windowWhen([](const Dict& s) {
        auto visible = s.find("visible");
        return visible != s.end() && visible->second.boolValue() && s.count("movieRect");
    });
    ASSERT_TRUE(status["visible"].boolValue());
    EXPECT_FALSE(status["closedCaptionsVisible"].boolValue()) << "off unless the preference turns them on";
    sleepFor(1.0); // the first picture is decoded and drawn

    // Played (space, with the focus on the picture) to some 1.6 s, inside the first caption.
    Rect picture = rectOf(status["movieRect"]);
    int left = int(std::lround(picture.x)), top = int(std::lround(screenHeight - (picture.y + picture.h)));
    input.click(left + int(picture.w / 2), top + int(picture.h / 2));
    player.windowWhen([](const Dict& s) { return s.count("movieViewFocused") && s.at("movieViewFocused").boolValue(); }, 5);
    input.type(XK_space);
    player.windowWhen([](const Dict& s) { return value(s, "currentTime") >= 1.6; }, 10);
    input.type(XK_space);
    status = player.windowWhen([](const Dict& s) { return value(s, "rate") == 0; }, 5);
    ASSERT_EQ(value(status, "rate"), 0);
    double at = player.time();
    ASSERT_GT(at, 1.3);
    ASSERT_LT(at, 3.2) << "stopped inside the first caption";

    auto shownTexts = [&] {
        std::vector<std::string> texts;
        Dict now = player.window();
        for (const auto& t : now["shownTexts"].arrayValue())
            texts.push_back(t.stringValue());
        return texts;
    };
    auto grab = [&] {
        sleepFor(0.6); // drawn
        return XGetImage(display, DefaultRootWindow(display), left, top, unsigned(picture.w), unsigned(picture.h),
            AllPlanes, ZPixmap);
    };
    auto differing = [](XImage* a, XImage* b) {
        int count = 0;
        for (int y = 0; y < a->height; ++y)
            for (int x = 0; x < a->width; ++x)
                count += XGetPixel(a, x, y) != XGetPixel(b, x, y);
        return count;
    };
    auto toggle = [&] {
        Dict message { { MVPRequestCommandKey, HXPropertyList(std::string("performAction")) },
            { "action", HXPropertyList(std::string("toggleClosedCaption:")) } };
        return MVPRequestServer::sendRequest(HXPropertyList(std::move(message)), 5);
    };

    EXPECT_TRUE(shownTexts().empty());
    XImage* without = grab();
    ASSERT_TRUE(without);

    ASSERT_TRUE(toggle());
    status = player.windowWhen([](const Dict& s) { return s.count("closedCaptionsVisible") && s.at("closedCaptionsVisible").boolValue(); }, 5);
    EXPECT_TRUE(status["closedCaptionsVisible"].boolValue()) << "View > Show Closed Captioning";
    EXPECT_EQ(shownTexts(), std::vector<std::string> { "HELLO CAPTIONS" });
    XImage* with = grab();
    ASSERT_TRUE(with);
    EXPECT_TRUE(writePNG(with, std::string(MOVARA_TEST_BINARY_DIR) + "/player_captions.png"));
    EXPECT_GT(differing(without, with), 200) << "the caption is drawn over the picture";

    ASSERT_TRUE(toggle());
    player.windowWhen([](const Dict& s) { return s.count("closedCaptionsVisible") && !s.at("closedCaptionsVisible").boolValue(); }, 5);
    EXPECT_TRUE(shownTexts().empty());
    XImage* again = grab();
    ASSERT_TRUE(again);
    EXPECT_LT(differing(without, again), 20) << "turned off, the picture is as it was";
    XDestroyImage(without);
    XDestroyImage(with);
    XDestroyImage(again);
    XCloseDisplay(display);
}

// A panorama in the real program (the bundle's sample: a courtyard with a door to a hall): the transport bar
// shows the VR buttons (a screenshot is kept as player_panorama.png), the wheel pans as movara-script reads
// it, a click on the door goes to the hall, and a save keeps every node and hot spot.
TEST(PlayerWindowDisplay, APanoramaLooksAroundAndFollowsItsHotspots)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    const std::string script = std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-script";
    const std::string sample = std::string(MOVARA_BUNDLE_DIR) + "/Resources/Panorama.mov";
    if (access(kProgram.c_str(), X_OK) != 0 || access(script.c_str(), X_OK) != 0
        || access(sample.c_str(), R_OK) != 0)
        GTEST_SKIP() << "the program, movara-script or the sample panorama is not built";
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    FakeInput input;
    ASSERT_TRUE(input.load(display)) << "libXtst is not available";
    const int screenHeight = DisplayHeight(display, DefaultScreen(display));
    auto xPoint = [&](double x, double y) {
        return std::pair<int, int>(int(std::lround(x)), int(std::lround(screenHeight - y)));
    };
    // What movara-script answers (its printed reply, without the line end).
    auto ask = [&](std::vector<std::string> args) {
        args.insert(args.begin(), script);
        auto result = movara::test::runCommand(args);
        std::string out = result.output;
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        return result.status == 0 ? out : "error " + std::to_string(result.status) + ": " + out;
    };
    auto number = [&](const std::string& path) { return std::atof(ask({ "get", path }).c_str()); };

    Player player;
    ASSERT_TRUE(player.start(sample));
    Dict status = player.windowWhen([](const Dict& s) {
        auto visible = s.find("visible");
        return visible != s.end() && visible->second.boolValue() && s.count("transportActions")
            && s.count("movieRect");
    });
    ASSERT_TRUE(status["visible"].boolValue());
    std::vector<std::string> actions;
    for (const auto& a : status["transportActions"].arrayValue())
        actions.push_back(a.stringValue());
    EXPECT_EQ(
        actions, (std::vector<std::string> { "goBack:", "zoomOut:", "", "zoomIn:", "toggleHotSpots:" }));
    sleepFor(1.0); // the node's pictures are decoded and the view drawn

    // The screenshot: the courtyard's door straight ahead, the VR buttons below.
    Rect frame = rectOf(status["windowFrame"]);
    Rect picture = rectOf(status["movieRect"]);
    {
        int left = int(frame.x), top = int(screenHeight - (frame.y + frame.h - kTitleBar));
        XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(frame.w),
            unsigned(frame.h - kTitleBar), AllPlanes, ZPixmap);
        ASSERT_TRUE(image);
        EXPECT_TRUE(writePNG(image, std::string(MOVARA_TEST_BINARY_DIR) + "/player_panorama.png"));
        // The sky is blue at the top left of the view, beside the hall.
        auto [skyX, skyY] = xPoint(picture.x + picture.w * 0.03, picture.y + picture.h * 0.97);
        uint32_t sky = uint32_t(XGetPixel(image, skyX - left, skyY - top));
        EXPECT_GT(int(sky & 0xFF), int((sky >> 16) & 0xFF) + 40) << "blue sky at the top of the view";
        XDestroyImage(image);
    }

    // The wheel: five notches to the right pan the view.
    ASSERT_EQ(number("movies[1].panAngle"), 180);
    auto [middleX, middleY] = xPoint(picture.x + picture.w / 2, picture.y + picture.h / 2);
    input.moveTo(middleX, middleY);
    sleepFor(0.2);
    input.wheel(7, 5);
    double pan = 180;
    for (int i = 0; i < 50 && pan == 180; ++i) {
        sleepFor(0.1);
        pan = number("movies[1].panAngle");
    }
    EXPECT_NE(pan, 180) << "the wheel pans";
    EXPECT_NEAR(std::fabs(pan - 180), 5, 0.01) << "a degree a notch";

    // Back to the door, and a click on it: the hall is the current node.
    ask({ "set", "movies[1].panAngle", "180" });
    EXPECT_EQ(number("movies[1].panAngle"), 180);
    EXPECT_EQ(ask({ "get", "movies[1].currentNode.name" }), "Courtyard");
    sleepFor(0.3);
    // The door's middle is about 8 degrees above the horizon: 38 % down the view.
    auto [doorX, doorY] = xPoint(picture.x + picture.w / 2, picture.y + picture.h * (1 - 0.38));
    input.click(doorX, doorY);
    std::string node;
    for (int i = 0; i < 50 && node != "Hall"; ++i) {
        sleepFor(0.1);
        node = ask({ "get", "movies[1].currentNode.name" });
    }
    EXPECT_EQ(node, "Hall") << "a click on the door goes to the hall";
    EXPECT_EQ(number("movies[1].currentNode.id"), 2);

    // Saved as a new file, the movie keeps its nodes and hot spots.
    movara::test::TempDir out;
    auto saved = (out / "saved panorama.mov").string();
    ask({ "do", "saveSelfContained", "movies[1]", "DestinationFile=" + saved });
    HXError error;
    auto back = MVMovie::movieWithFile(saved, &error);
    ASSERT_TRUE(back) << error.localizedDescription();
    std::vector<std::string> nodes;
    for (const auto& n : back->nodes()) {
        std::string text = n->name() + ":";
        for (const auto& h : n->hotspots())
            text += " " + h->name();
        nodes.push_back(text);
    }
    EXPECT_EQ(nodes,
        (std::vector<std::string> { "Courtyard: Door to the hall Web site", "Hall: Door to the courtyard" }));
    EXPECT_EQ(movara::test::runCommand({ "ffprobe", "-v", "error", "-show_streams", saved }).status, 0);
    XCloseDisplay(display);
}

// File > Print… in the real program, by its key: the print panel comes down over the window as a sheet (a
// screenshot is kept as player_print_panel.png), Return prints, and the PDF queue of a print scheduler of
// the test's own writes a page that shows the frame the window shows, as ffmpeg decodes it.
TEST(PlayerWindowDisplay, FilePrintSendsTheFrameToAPrintQueue)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    if (access(kProgram.c_str(), X_OK) != 0)
        GTEST_SKIP() << "the program is not built";
    if (!movara::test::haveProgram("ffmpeg") || !movara::test::haveProgram("pdftoppm"))
        GTEST_SKIP() << "ffmpeg and pdftoppm (poppler-utils) are needed";
    movara::test::PrivatePrintScheduler scheduler;
    if (!scheduler.failure().empty())
        GTEST_SKIP() << "no print scheduler of our own: " << scheduler.failure();
    std::string reason;
    ASSERT_TRUE(scheduler.addPDFQueue("Movara_PDF", reason)) << reason;
    movara::test::EnvironmentGuard environment; // the player started below inherits it
    environment.set("CUPS_SERVER", scheduler.socketPath().string());
    environment.unset("PRINTER");
    environment.unset("LPDEST");

    // Colour bars, whose every block tells where on the page it went.
    movara::test::TempDir dir;
    auto path = dir / "bars.mov";
    ASSERT_EQ(movara::test::runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                  "smptebars=size=320x240:rate=25:duration=2", "-c:v", "libx264", "-pix_fmt", "yuv420p",
                  path.string() })
                  .status,
        0);
    auto expected = dir / "frame.png";
    ASSERT_EQ(movara::test::runCommand(
                  { "ffmpeg", "-v", "error", "-i", path.string(), "-frames:v", "1", expected.string() })
                  .status,
        0);

    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    FakeInput input;
    ASSERT_TRUE(input.load(display)) << "libXtst is not available";
    const int screenHeight = DisplayHeight(display, DefaultScreen(display));

    Player player;
    ASSERT_TRUE(player.start(path.string()));
    Dict status = player.windowWhen([](const Dict& s) {
        auto visible = s.find("visible");
        return visible != s.end() && visible->second.boolValue() && s.count("movieRect");
    });
    ASSERT_TRUE(status["visible"].boolValue());
    sleepFor(1.0); // the first picture is decoded and drawn
    Rect picture = rectOf(status["movieRect"]);
    input.click(int(picture.x + picture.w / 2), int(screenHeight - (picture.y + picture.h / 2)));
    sleepFor(0.3);

    // Ctrl-P: File > Print….
    input.press(XK_Control_L, true);
    input.type(XK_p);
    input.press(XK_Control_L, false);
    status = player.windowWhen([](const Dict& s) { return s.count("sheet"); }, 10);
    ASSERT_TRUE(status.count("sheet")) << "no print panel came";
    EXPECT_EQ(status["sheet"]["title"].stringValue(), "Print");
    sleepFor(0.6); // drawn
    {
        // The window and its sheet, which may be wider than the window.
        Rect frame = rectOf(status["windowFrame"]), sheet = rectOf(status["sheet"]["frame"]);
        double x0 = std::min(frame.x, sheet.x), x1 = std::max(frame.x + frame.w, sheet.x + sheet.w);
        double y0 = std::min(frame.y, sheet.y), y1 = frame.y + frame.h - kTitleBar;
        int left = int(std::max(0.0, x0)), top = int(screenHeight - y1);
        XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(x1 - left),
            unsigned(y1 - y0), AllPlanes, ZPixmap);
        ASSERT_TRUE(image);
        EXPECT_TRUE(writePNG(image, std::string(MOVARA_TEST_BINARY_DIR) + "/player_print_panel.png"));
        XDestroyImage(image);
    }

    // Return: the panel's Print button, on the scheduler's only queue.
    input.type(XK_Return);
    status = player.windowWhen([](const Dict& s) { return !s.count("sheet"); }, 10);
    EXPECT_FALSE(status.count("sheet")) << "the print panel stayed";
    auto pdf = scheduler.waitForPDF(90);
    ASSERT_FALSE(pdf.empty()) << "the queue wrote nothing: " << scheduler.errorLog();
    auto rendered = dir / "page";
    ASSERT_EQ(
        movara::test::runCommand({ "pdftoppm", "-png", "-r", "72", "-singlefile", pdf.string(), rendered.string() })
            .status,
        0);
    std::filesystem::copy_file(rendered.string() + ".png",
        std::filesystem::path(MOVARA_TEST_BINARY_DIR) / "player_printed_page.png",
        std::filesystem::copy_options::overwrite_existing);
    movara::test::PNGImage page(rendered.string() + ".png"), frame(expected);
    ASSERT_TRUE(page.ok() && frame.ok());
    // On white paper, the picture in the movie's proportions, block by block the frame.
    movara::test::PixelRect ink = page.inkBounds();
    ASSERT_GT(ink.width, 100) << "the page is blank";
    EXPECT_NEAR(ink.width / ink.height, 320.0 / 240, 0.03);
    const int columns = 7, rows = 4;
    EXPECT_GE(movara::test::matchingBlocks(frame, page, ink, columns, rows, 40), columns * rows - 2)
        << "blocks of the page that match the frame";
    XCloseDisplay(display);
}
