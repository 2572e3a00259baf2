// The real movara-player on an X display, started with nothing to open: it opens its featured movie and
// shows it in the featured movie's own window — the movie's size (320 × 240), its picture, no controls.
#include "app/request_server.h"

#include "platform/basekit/property_list.h"
#include "platform/drawing/geometry.h"
#include "platform/winkit/window.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

const std::string kProgram = std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player";

void sleepFor(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::optional<HXPropertyList> request(const std::string& command)
{
    HXPropertyList::Dictionary message { { MVPRequestCommandKey, HXPropertyList(command) } };
    return MVPRequestServer::sendRequest(HXPropertyList(std::move(message)), 5);
}

// The first movie document the running program reports, or nothing yet.
std::optional<HXPropertyList> firstMovieDocument()
{
    auto reply = request("documents");
    if (!reply)
        return std::nullopt;
    for (const auto& doc : (*reply)["documents"].arrayValue())
        if (doc["kind"].stringValue() == "movie")
            return doc;
    return std::nullopt;
}

struct XWindowInfo {
    Window id = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0;
};

// A viewable top-level window whose name starts with `prefix`.
std::optional<XWindowInfo> findWindow(Display* display, const std::string& prefix)
{
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return std::nullopt;
    std::optional<XWindowInfo> found;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        // The title as the backend stored it (UTF-8 or Latin-1 text).
        XTextProperty text {};
        if (XGetWMName(display, children[i], &text) && text.value) {
            std::string name(reinterpret_cast<const char*>(text.value), text.nitems);
            if (name.rfind(prefix, 0) == 0)
                found = XWindowInfo { children[i], attributes.x, attributes.y, unsigned(attributes.width),
                    unsigned(attributes.height) };
            XFree(text.value);
        }
    }
    if (children)
        XFree(children);
    return found;
}

} // namespace

TEST(FeaturedMovieWindowDisplay, NothingToOpenShowsTheFeaturedMovieInItsOwnWindow)
{
    const char* displayName = std::getenv("DISPLAY");
    if (!displayName || !*displayName)
        GTEST_SKIP() << "no X display";
    if (access(kProgram.c_str(), X_OK) != 0)
        GTEST_SKIP() << "the program is not built";
    Display* display = XOpenDisplay(displayName);
    ASSERT_TRUE(display);

    ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 1);
    ::setenv("MOVARA_SILENT_AUDIO", "1", 0);
    pid_t pid = fork();
    if (pid == 0) {
        execl(kProgram.c_str(), kProgram.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    struct Ender {
        pid_t pid;
        ~Ender()
        {
            request("quit");
            for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) == 0; ++i)
                sleepFor(0.05);
            if (waitpid(pid, nullptr, WNOHANG) == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    } ender { pid };

    std::optional<HXPropertyList> doc;
    std::optional<XWindowInfo> window;
    for (int i = 0; i < 300 && !window; ++i) {
        doc = firstMovieDocument();
        if (doc)
            window = findWindow(display, "tvbutton");
        if (!window)
            sleepFor(0.1);
    }
    ASSERT_TRUE(doc) << "the program reports a movie document";
    EXPECT_TRUE((*doc)["reelspot"].boolValue()) << "the featured movie opened";
    EXPECT_NE((*doc)["playerWindow"]["kind"].stringValue(), "standard") << "not the player window";
    ASSERT_TRUE(window) << "a window named after the featured movie is on screen";
    EXPECT_EQ(window->width, 320u) << "the window's content is the movie's natural size";
    EXPECT_EQ(window->height, 240u + unsigned(HXWindowMenuBarHeight))
        << "the picture below the window's menu bar";
    sleepFor(1.0); // the first picture is decoded and drawn

    // The colour bars fill the window from top to bottom: no controls strip below the picture.
    XImage* image = XGetImage(display, window->id, 0, 0, window->width, window->height, AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    std::set<uint32_t> top, bottom;
    for (int i = 0; i < 14; ++i) {
        int x = int((i + 0.5) * window->width / 14);
        top.insert(uint32_t(XGetPixel(image, x, int(window->height) / 4)) & 0xC0C0C0u);
        bottom.insert(uint32_t(XGetPixel(image, x, int(window->height) - 3)) & 0xC0C0C0u);
    }
    XDestroyImage(image);
    EXPECT_GE(top.size(), 5u) << "the colour bars show in the picture";
    EXPECT_GE(bottom.size(), 2u) << "the picture reaches the window's bottom edge";

    XCloseDisplay(display);
}
