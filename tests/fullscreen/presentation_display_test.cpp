// A presentation on a real X server with two screens (Xorg with the dummy video driver, started by the
// test and ended with it): a movie presented in letterbox mode on the second screen, the heads-up panel
// shown by a mouse move and gone after its time-out, and a display-mode switch that the exit undoes.
// Screenshots of the whole X screen are kept in the tests' build folder (fullscreen_*.png).
#include "document/movie_document.h"
#include "fullscreen/display_services.h"
#include "fullscreen/presentation_hud_window_controller.h"
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_screen_view.h"
#include "fullscreen/presentation_window_controller.h"
#include "fullscreen/screen_additions.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"
#if __has_include("platform/winkit/sdl_window_server.h")
#include "platform/winkit/sdl_window_server.h"
#define MOVARA_HAVE_SDL_BACKEND 1
#endif
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"
#include "tests/platform/mvkit/fixtures.h"
#include "test_support.h"

#include <cairo.h>
#include <fcntl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

// Last: it brings Xlib, whose macros clash with names in the headers above.
#include "display_capture.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>

using namespace movara::test;

namespace {

// The document's presentation as full screen makes it (null when the document has none).
std::shared_ptr<FSPresentationWindowController> presentationOf(MVPMovieDocument& doc)
{
    return std::dynamic_pointer_cast<FSPresentationWindowController>(doc.fsPresentationWindowController());
}

#ifdef MOVARA_HAVE_SDL_BACKEND

constexpr const char* kConfig = R"(Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 3840 1200
    EndSubSection
EndSection
)";

// An X server of its own with two screens: 1600 x 1200 and, to its right, 800 x 600.
class DummyXServer {
public:
    // Empty when the server could not be started (the reason in `failure`).
    bool start(std::string& failure)
    {
        if (!haveProgram("Xorg") || !haveProgram("xrandr")) {
            failure = "Xorg or xrandr is not installed (scripts/setup installs them)";
            return false;
        }
        writeFile(_dir / "xorg.conf", kConfig);
        for (int n = 91; n < 120; ++n) {
            if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))
                && !std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
                _number = n;
                break;
            }
        }
        if (_number < 0) {
            failure = "no free X display number";
            return false;
        }
        std::string display = ":" + std::to_string(_number);
        std::string config = (_dir / "xorg.conf").string();
        std::string log = (_dir / "xorg.log").string();
        _pid = fork();
        if (_pid == 0) {
            int null = ::open("/dev/null", 1);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xorg", "Xorg", display.c_str(), "-noreset", "-nolisten", "tcp", "-config", config.c_str(),
                "-logfile", log.c_str(), (char*)nullptr);
            _exit(127);
        }
        auto socket = "/tmp/.X11-unix/X" + std::to_string(_number);
        for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int status = 0;
        if (!std::filesystem::exists(socket) || waitpid(_pid, &status, WNOHANG) != 0) {
            failure = "Xorg with the dummy driver did not start (is xserver-xorg-video-dummy installed?)";
            return false;
        }
        _display = display;
        ::setenv("DISPLAY", display.c_str(), 1);
        // The server answers once its outputs are there.
        for (int i = 0; i < 50 && runCommand({ "xrandr", "--current" }).output.find("DUMMY1") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        runCommand({ "xrandr", "--addmode", "DUMMY1", "800x600" });
        runCommand({ "xrandr", "--addmode", "DUMMY1", "640x480" });
        auto placed = runCommand({ "xrandr", "--output", "DUMMY1", "--mode", "800x600", "--right-of", "DUMMY0" });
        // A probe of the outputs marks the second one connected.
        runCommand({ "xrandr" });
        if (placed.status != 0 || runCommand({ "xrandr", "--current" }).output.find("DUMMY1 connected") == std::string::npos) {
            failure = "xrandr could not place the second screen";
            return false;
        }
        return true;
    }
    ~DummyXServer()
    {
        if (_pid > 0) {
            kill(_pid, SIGTERM);
            int status = 0;
            for (int i = 0; i < 50 && waitpid(_pid, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (waitpid(_pid, &status, WNOHANG) == 0) {
                kill(_pid, SIGKILL);
                waitpid(_pid, &status, 0);
            }
        }
    }
    // The current mode of the second screen as xrandr reports it ("800x600").
    std::string secondScreenMode()
    {
        auto out = runCommand({ "xrandr", "--current" }).output;
        auto at = out.find("DUMMY1 connected");
        if (at == std::string::npos)
            return {};
        auto start = out.find_first_of("0123456789", at + 16);
        auto end = out.find('+', start);
        return start == std::string::npos || end == std::string::npos ? std::string() : out.substr(start, end - start);
    }
    // The whole X screen as a PNG file.
    bool screenshot(const std::filesystem::path& path)
    {
        Display* d = XOpenDisplay(_display.c_str());
        if (!d)
            return false;
        Window root = DefaultRootWindow(d);
        XWindowAttributes attributes;
        XGetWindowAttributes(d, root, &attributes);
        XImage* image = XGetImage(d, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
        bool ok = false;
        if (image) {
            auto* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image->width, image->height);
            auto* data = cairo_image_surface_get_data(surface);
            int stride = cairo_image_surface_get_stride(surface);
            for (int y = 0; y < image->height; ++y)
                for (int x = 0; x < image->width; ++x)
                    reinterpret_cast<uint32_t*>(data + y * stride)[x] = uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
            cairo_surface_mark_dirty(surface);
            ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
            cairo_surface_destroy(surface);
            XDestroyImage(image);
        }
        XCloseDisplay(d);
        return ok;
    }
    // Moves the pointer through the X server's test extension (false when it is not there).
    bool movePointer(int x, int y)
    {
        using Motion = int (*)(Display*, int, int, int, unsigned long);
        static void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
        auto motion = xtst ? reinterpret_cast<Motion>(dlsym(xtst, "XTestFakeMotionEvent")) : nullptr;
        Display* d = motion ? XOpenDisplay(_display.c_str()) : nullptr;
        if (!d)
            return false;
        motion(d, -1, x, y, 0);
        XSync(d, 0);
        XCloseDisplay(d);
        return true;
    }

private:
    TempDir _dir;
    int _number = -1;
    pid_t _pid = -1;
    std::string _display;
};

// What the program asks of the window manager for its mapped windows: _NET_WM_STATE messages to the root
// window, which reach every client listening to the root's substructure (there is no window manager on the
// test's server to act on them). The states asked for, by window, as atom names.
class WindowStateRequests {
public:
    WindowStateRequests()
        : _display(XOpenDisplay(nullptr))
    {
        if (_display) {
            XSelectInput(_display, DefaultRootWindow(_display), SubstructureNotifyMask);
            XSync(_display, False);
        }
    }
    ~WindowStateRequests()
    {
        if (_display)
            XCloseDisplay(_display);
    }
    std::set<std::string> statesOf(unsigned long window)
    {
        if (!_display)
            return {};
        Atom state = XInternAtom(_display, "_NET_WM_STATE", False);
        while (XPending(_display) > 0) {
            XEvent e;
            XNextEvent(_display, &e);
            if (e.type != ClientMessage || e.xclient.message_type != state || e.xclient.format != 32)
                continue;
            auto& states = _states[e.xclient.window];
            for (int i : { 1, 2 }) {
                Atom atom = Atom(e.xclient.data.l[i]);
                if (atom == None)
                    continue;
                char* name = XGetAtomName(_display, atom);
                std::string n = name ? name : "";
                XFree(name);
                long action = e.xclient.data.l[0]; // 0 remove, 1 add, 2 toggle
                if (action == 1 || (action == 2 && !states.count(n)))
                    states.insert(n);
                else
                    states.erase(n);
            }
        }
        auto it = _states.find(window);
        return it == _states.end() ? std::set<std::string>() : it->second;
    }

private:
    Display* _display;
    std::map<unsigned long, std::set<std::string>> _states;
};

// The window manager hints of one of our windows (_NET_WM_STATE), as atom names: those set before it was
// mapped and those asked for since (`requests`).
std::vector<std::string> windowStates(const HXWindow& window, WindowStateRequests& requests)
{
    std::vector<std::string> names;
    auto server = std::dynamic_pointer_cast<HXSDLWindowServer>(HXApplication::sharedApplication()->windowServerPointer());
    SDL_Window* sdl = server ? server->sdlWindowFor(window) : nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!sdl || !SDL_GetWindowWMInfo(sdl, &info) || info.subsystem != SDL_SYSWM_X11)
        return names;
    Display* d = info.info.x11.display;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, info.info.x11.window, XInternAtom(d, "_NET_WM_STATE", False), 0, 64, False, XA_ATOM,
            &type, &format, &count, &after, &data)
            == Success
        && data) {
        for (unsigned long i = 0; i < count; ++i) {
            char* name = XGetAtomName(d, reinterpret_cast<Atom*>(data)[i]);
            names.emplace_back(name ? name : "");
            XFree(name);
        }
        XFree(data);
    }
    for (const auto& name : requests.statesOf(info.info.x11.window))
        names.push_back(name);
    return names;
}

bool has(const std::vector<std::string>& names, const char* name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The pump looks for events often: the heads-up panel's fades are short.
void runFor(HXApplication& app, double seconds)
{
    movara::test::display::runFor(app, seconds, 0.02);
}

#endif

} // namespace

TEST(PresentationDisplay, TwoScreensLetterboxPanelAndModeSwitch)
{
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    MOVARA_REQUIRE_FIXTURE(moviePath, MovieFixture::MjpegPcmMov);
    std::string previousDisplay = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    DummyXServer x;
    std::string failure;
    if (!x.start(failure))
        GTEST_SKIP() << "no two-screen X server: " << failure;
    // The program lets go of the X server before the server ends.
    struct ReleaseApplication {
        ~ReleaseApplication() { HXApplication::setSharedApplication(nullptr); }
    } releaseApplication;
    ::setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    // A window server of its own: the shared one belongs to the display the other tests use.
    auto app = movara::test::display::applicationOn(HXSDLWindowServer::create());
    ASSERT_TRUE(app);
    FSDisplayServices::setShared(nullptr);

    auto screens = HXScreen::screens();
    ASSERT_EQ(screens.size(), 2u) << runCommand({ "xrandr", "--current" }).output;
    const HXScreen second = screens[1];
    EXPECT_EQ(second.frame().size, (HXSize { 800, 600 }));

    auto& defaults = HXUserDefaults::standardUserDefaults();
    defaults.setInteger(1, FullscreenPreferenceHUDFadeOutTime);
    auto movie = MVMovie::movieWithFile(moviePath.string(), nullptr);
    ASSERT_TRUE(movie);
    // A movie that ends ends its presentation: this one goes round while the test looks at it.
    movie->setLoopingMode(MVMovieLoopingMode::Loop);
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    doc->makeWindowControllers();
    doc->showWindows();
    runFor(*app, 0.5);

    FSPresentationSettings settings;
    settings.screen = second;
    settings.size = FSPresentationModeLetterbox;
    doc->enterFullScreenWithSettings(settings);
    ASSERT_TRUE(doc->isFullScreen());
    auto controller = presentationOf(*doc);
    runFor(*app, 1.0);
    EXPECT_EQ(controller->window()->frame(), second.frame());
    auto view = controller->movieView();
    HXSize natural = doc->naturalSize();
    double k = std::min(800 / natural.width, 600 / natural.height);
    EXPECT_NEAR(view->frame().size.width, std::ceil(k * natural.width), 1.0) << "letterbox";
    EXPECT_TRUE(x.screenshot(std::filesystem::path(MOVARA_TEST_BINARY_DIR) / "fullscreen_letterbox.png"));

    auto hud = controller->fsPresentationHUDWindowController();
    ASSERT_TRUE(hud);
    // The pointer entering the new window may have shown the panel: let it go first.
    for (int i = 0; i < 30 && hud->isVisible(); ++i)
        runFor(*app, 0.1);
    runFor(*app, 0.5);
    EXPECT_FALSE(hud->isVisible());
    if (x.movePointer(1600 + 400, 300) && x.movePointer(1600 + 410, 310)) {
        runFor(*app, 0.5);
        EXPECT_TRUE(hud->isVisible()) << "a mouse move shows the panel";
        EXPECT_TRUE(HXIntersectsRect(hud->window()->frame(), second.frame())) << "on the presenting screen";
        EXPECT_TRUE(x.screenshot(std::filesystem::path(MOVARA_TEST_BINARY_DIR) / "fullscreen_panel.png"));
        runFor(*app, 2.0);
        EXPECT_FALSE(hud->isVisible()) << "gone after its time-out";
    }
    doc->exitFullScreen();
    runFor(*app, 0.5);
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_TRUE(doc->movieWindow()->isVisible());

    ASSERT_EQ(x.secondScreenMode(), "800x600");
    settings.size = FSPresentationModeActualSize;
    settings.changeResolution = true;
    doc->enterFullScreenWithSettings(settings);
    ASSERT_TRUE(doc->isFullScreen());
    runFor(*app, 1.0);
    EXPECT_TRUE(controller->switchedResolution());
    // The smallest mode of the display that holds the movie, as the display reports it now.
    auto mode = FSDisplayServices::shared().currentMode(second.screenNumber());
    ASSERT_TRUE(mode);
    EXPECT_LT(mode->width * mode->height, 800u * 600u);
    EXPECT_GE(mode->width, natural.width);
    EXPECT_GE(mode->height, natural.height);
    EXPECT_EQ(x.secondScreenMode(), std::to_string(mode->width) + "x" + std::to_string(mode->height));
    EXPECT_EQ(controller->window()->frame().size, (HXSize { double(mode->width), double(mode->height) }))
        << "the window covers the display in its new mode";
    EXPECT_TRUE(x.screenshot(std::filesystem::path(MOVARA_TEST_BINARY_DIR) / "fullscreen_mode_switch.png"));
    doc->exitFullScreen();
    runFor(*app, 0.5);
    EXPECT_EQ(x.secondScreenMode(), "800x600") << "the display's own mode is back";

    defaults.removeObjectForKey(FullscreenPreferenceHUDFadeOutTime);
    doc->close();
    doc.reset();
    HXApplication::setSharedApplication(nullptr);
    FSDisplayServices::setShared(nullptr);
    if (!previousDisplay.empty())
        ::setenv("DISPLAY", previousDisplay.c_str(), 1);
#endif
}

TEST(PresentationDisplay, MirroredDisplaysPanelsAndADisplayThatIsReconfigured)
{
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    MOVARA_REQUIRE_FIXTURE(moviePath, MovieFixture::MjpegPcmMov);
    std::string previousDisplay = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    DummyXServer x;
    std::string failure;
    if (!x.start(failure))
        GTEST_SKIP() << "no two-screen X server: " << failure;
    struct ReleaseApplication {
        ~ReleaseApplication()
        {
            HXApplication::setSharedApplication(nullptr);
            FSDisplayServices::setShared(nullptr);
        }
    } releaseApplication;
    ::setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    auto app = movara::test::display::applicationOn(HXSDLWindowServer::create());
    ASSERT_TRUE(app);
    FSDisplayServices::setShared(nullptr);
    WindowStateRequests requests;
    auto& manager = FSPresentationManager::fsPresentationManager();
    auto numbers = [](const std::vector<HXScreen>& screens) {
        std::vector<uint32_t> result;
        for (const auto& s : screens)
            result.push_back(s.screenNumber());
        return result;
    };
    ASSERT_EQ(numbers(HXScreen::screens()), (std::vector<uint32_t> { 1, 2 }));
    EXPECT_EQ(numbers(manager.availableScreens()), (std::vector<uint32_t> { 1, 2 }));

    // The second monitor shows the first one's picture: one display to present on, one in the picker.
    ASSERT_EQ(runCommand({ "xrandr", "--output", "DUMMY1", "--same-as", "DUMMY0" }).status, 0);
    runFor(*app, 0.5);
    ASSERT_EQ(numbers(HXScreen::screens()), (std::vector<uint32_t> { 1, 2 })) << "SDL lists both";
    auto second = *HXScreen::screenWithNumber(2);
    EXPECT_TRUE(HXScreen_Additions::isMirroring(second));
    EXPECT_EQ(HXScreen_Additions::masterMirroredScreen(second).screenNumber(), 1u);
    EXPECT_TRUE(HXScreen_Additions::isPrimaryScreen(second)) << "it mirrors the menu-bar screen";
    EXPECT_EQ(numbers(manager.availableScreens()), (std::vector<uint32_t> { 1 }));
    auto picker = std::make_shared<FSPresentationScreenView>(HXMakeRect(0, 0, 200, 120));
    picker->updateScreens();
    EXPECT_EQ(numbers(picker->screens()), (std::vector<uint32_t> { 1 }));
    ASSERT_EQ(runCommand({ "xrandr", "--output", "DUMMY1", "--right-of", "DUMMY0" }).status, 0);
    runFor(*app, 0.5);
    EXPECT_EQ(numbers(manager.availableScreens()), (std::vector<uint32_t> { 1, 2 }));

    // A presentation on the second display that captures all: its window and the blackout window on the
    // first display are full screen and kept above, so the desktop's panels stay under them.
    auto movie = MVMovie::movieWithFile(moviePath.string(), nullptr);
    ASSERT_TRUE(movie);
    movie->setLoopingMode(MVMovieLoopingMode::Loop);
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    doc->makeWindowControllers();
    doc->showWindows();
    runFor(*app, 0.3);
    FSPresentationSettings settings;
    settings.screen = *HXScreen::screenWithNumber(2);
    settings.captureAllDisplays = true;
    doc->enterFullScreenWithSettings(settings);
    ASSERT_TRUE(doc->isFullScreen());
    runFor(*app, 0.5);
    auto controller = presentationOf(*doc);
    EXPECT_EQ(controller->window()->level(), HXStatusWindowLevel);
    auto presentationState = windowStates(*controller->window(), requests);
    EXPECT_TRUE(has(presentationState, "_NET_WM_STATE_FULLSCREEN")) << "presentation";
    EXPECT_TRUE(has(presentationState, "_NET_WM_STATE_ABOVE")) << "presentation";
    ASSERT_EQ(manager.displayCaptureWindows().count(1), 1u);
    auto blackoutState = windowStates(*manager.displayCaptureWindows().at(1), requests);
    EXPECT_TRUE(has(blackoutState, "_NET_WM_STATE_FULLSCREEN")) << "blackout";
    EXPECT_TRUE(has(blackoutState, "_NET_WM_STATE_ABOVE")) << "blackout";
    EXPECT_TRUE(x.screenshot(std::filesystem::path(MOVARA_TEST_BINARY_DIR) / "fullscreen_capture_all.png"));

    // The first monitor is switched off: the second display is now display 1, and the presentation
    // follows it there instead of ending.
    ASSERT_EQ(runCommand({ "xrandr", "--output", "DUMMY0", "--off" }).status, 0);
    runFor(*app, 1.0);
    auto now = HXScreen::screens();
    bool followed = now.size() == 1;
    if (followed) {
        EXPECT_TRUE(doc->isFullScreen()) << "the presentation follows its monitor";
        EXPECT_EQ(controller->presentingScreen()->screenNumber(), now.front().screenNumber());
        EXPECT_EQ(controller->window()->frame(), now.front().frame());
    }
    doc->exitFullScreen();
    runFor(*app, 0.3);
    EXPECT_TRUE(manager.displayCaptureWindows().empty());
    doc->close();
    doc.reset();
    if (!previousDisplay.empty())
        ::setenv("DISPLAY", previousDisplay.c_str(), 1);
    // SDL tells of a monitor going off only in some versions: the rest of the test holds either way.
    if (!followed)
        RecordProperty("monitor off", "SDL still lists " + std::to_string(now.size()) + " displays: not checked");
#endif
}
