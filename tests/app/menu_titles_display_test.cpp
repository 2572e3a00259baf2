// The menu titles a user reads, in a real player window on an X display: the window's menu bar after the
// menus were validated for the front movie, then again while the movie is presented full screen, and the
// heads-up panel's title line while the pointer rests on its mode toggle and on its exit button. No title
// is a strings-table key ("mvpFitToScreen"), which is what a user sees when a key has no text.
#include "app/main_menu.h"
#include "document/movie_document.h"
#include "fullscreen/presentation_hud_window_controller.h"
#include "fullscreen/presentation_window_controller.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/button.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/menu_bar_view.h"

#include "test_support.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

// Last: it brings Xlib.
#include "display_capture.h"

namespace {

// The document's presentation as full screen makes it (null when the document has none).
std::shared_ptr<FSPresentationWindowController> presentationOf(MVPMovieDocument& doc)
{
    return std::dynamic_pointer_cast<FSPresentationWindowController>(doc.fsPresentationWindowController());
}

#ifdef MOVARA_HAVE_SDL_BACKEND
using movara::test::display::onScreenApplication;
using movara::test::display::runFor;

// A strings key rather than a text: "mv", a short lower-case prefix, a capital, and no blank.
bool looksLikeKey(const std::string& title)
{
    if (title.size() < 4 || title.compare(0, 2, "mv") != 0)
        return false;
    size_t i = 2;
    while (i < title.size() && std::islower(static_cast<unsigned char>(title[i])))
        ++i;
    return i < title.size() && std::isupper(static_cast<unsigned char>(title[i]))
        && title.find(' ') == std::string::npos;
}

struct Shown {
    std::string path; // "View > Fit to Screen"
    std::string title;
};

// Every item of the menu bar as it shows now: each menu validated as when it opens, then read.
void collect(const std::shared_ptr<HXMenu>& menu, const std::string& path, std::vector<Shown>& out)
{
    menu->update();
    for (auto& item : menu->itemArray()) {
        if (item->isSeparatorItem())
            continue;
        out.push_back({ path + item->title(), item->title() });
        if (auto submenu = item->submenu())
            collect(submenu, path + item->title() + " > ", out);
    }
}

std::vector<Shown> menuBarTitles(HXWindow& window)
{
    std::vector<Shown> titles;
    auto bar = window.menuBarView();
    if (bar && bar->menu())
        collect(bar->menu(), "", titles);
    return titles;
}

// The title (as last validated) of the item of `menu` that sends `action`.
std::string titleFor(
    const std::shared_ptr<HXMenu>& mainMenu, const std::string& menu, const std::string& action)
{
    auto item = mainMenu->itemWithTitle(menu);
    if (!item || !item->submenu())
        return {};
    for (auto& entry : item->submenu()->itemArray())
        if (!entry->action().isNull() && entry->action().name() == action)
            return entry->title();
    return {};
}

// Within each menu, no two items a user can see show the same keys: each key equivalent names the keys
// that choose it, modifiers included ("Ctrl+N", "Ctrl+Alt+N").
void expectDistinctShortcuts(const std::shared_ptr<HXMenu>& menu, const std::string& path)
{
    std::map<std::string, std::string> shownBy;
    for (auto& item : menu->itemArray()) {
        if (auto submenu = item->submenu())
            expectDistinctShortcuts(submenu, path + item->title() + " > ");
        if (item->isSeparatorItem() || item->isHidden() || item->isAlternate())
            continue;
        std::string keys = item->keyEquivalentDisplayString();
        if (keys.empty())
            continue;
        EXPECT_EQ(keys.find('\xEF'), std::string::npos) << path << item->title() << ": " << keys;
        auto [it, added] = shownBy.emplace(keys, item->title());
        EXPECT_TRUE(added) << path << item->title() << " shows " << keys << " as " << it->second << " does";
    }
}

void expectNoKeys(const std::vector<Shown>& titles, const char* when)
{
    EXPECT_GT(titles.size(), 40u) << when << ": the menu bar has its menus";
    for (auto& shown : titles) {
        EXPECT_FALSE(shown.title.empty()) << when << ": " << shown.path;
        EXPECT_FALSE(looksLikeKey(shown.title)) << when << ": " << shown.path;
    }
}

// Moves the X pointer through the test extension (loaded at run time) to a point of the toolkit's screen.
bool movePointer(Display* display, HXPoint point)
{
    using Motion = int (*)(Display*, int, int, int, unsigned long);
    static void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
    auto motion = xtst ? reinterpret_cast<Motion>(dlsym(xtst, "XTestFakeMotionEvent")) : nullptr;
    if (!motion)
        return false;
    double screenHeight = HXScreen::screens().front().frame().size.height;
    motion(display, -1, int(std::lround(point.x)), int(std::lround(screenHeight - point.y)), 0);
    XSync(display, 0);
    return true;
}

HXPoint centreOnScreen(const HXView& view)
{
    HXRect r = view.convertRectToScreen(view.bounds());
    return { r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2 };
}
#endif

TEST(MenuTitlesDisplay, MenusAndPanelTitlesShowTextsNotKeys)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg makes the movie";
    movara::test::TempDir dir;
    auto path = dir / "chapters.mov";
    ASSERT_TRUE(movara::test::makeChapteredMovie(path, { "One", "Two", "Three" }));
    auto app = onScreenApplication();
    if (!app)
        GTEST_SKIP() << "SDL cannot open the display";
    struct ReleaseApplication {
        ~ReleaseApplication() { HXApplication::setSharedApplication(nullptr); }
    } releaseApplication;
    auto mainMenu = MVPMainMenu::build();
    app->setMainMenu(mainMenu);

    HXError error;
    auto movie = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    doc->makeWindowControllers();
    doc->showWindows();
    auto window = doc->movieWindow();
    ASSERT_TRUE(window);
    window->makeKeyAndOrderFront(nullptr);
    runFor(*app, 0.5);

    // ---- The player window's menu bar. ----
    auto titles = menuBarTitles(*window);
    expectNoKeys(titles, "player window");
    EXPECT_EQ(titleFor(mainMenu, "View", "fitToScreen:"), "Fit to Screen");
    EXPECT_EQ(titleFor(mainMenu, "View", "showSoundControls:"), "Hide Sound Controls")
        << "the movie has sound";
    EXPECT_EQ(titleFor(mainMenu, "View", "gotoNextChapter:"), "Next Chapter");
    expectDistinctShortcuts(window->menuBarView()->menu(), "");

    // ---- Full screen: the same menus, validated by the presentation. ----
    FSPresentationSettings settings;
    settings.screen = HXScreen::screens().front();
    settings.size = FSPresentationModeLetterbox;
    doc->enterFullScreenWithSettings(settings);
    ASSERT_TRUE(doc->isFullScreen());
    auto controller = presentationOf(*doc);
    ASSERT_TRUE(controller);
    runFor(*app, 1.0);
    titles = menuBarTitles(*window);
    expectNoKeys(titles, "full screen");
    EXPECT_EQ(titleFor(mainMenu, "View", "fullScreen:"), "Exit Full Screen");
    // Fit to Screen makes way for the presentation's own modes.
    EXPECT_EQ(titleFor(mainMenu, "View", "letterboxToScreen:"), "Letterbox");
    EXPECT_EQ(titleFor(mainMenu, "View", "cropToScreen:"), "Zoom");

    // ---- The heads-up panel: its title line under the pointer. ----
    auto hud = controller->fsPresentationHUDWindowController();
    ASSERT_TRUE(hud);
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    HXRect screen = settings.screen->frame();
    ASSERT_TRUE(movePointer(display, { screen.origin.x + screen.size.width / 2, screen.origin.y + 200 }));
    movePointer(display, { screen.origin.x + screen.size.width / 2 + 8, screen.origin.y + 208 });
    runFor(*app, 0.6);
    ASSERT_TRUE(hud->isVisible()) << "a mouse move shows the panel";
    hud->enableAutoFadeOut(false);
    std::vector<std::pair<const char*, std::shared_ptr<HXButton>>> buttons { { "exit", hud->closeButton() } };
    if (hud->toggleButton() && !hud->toggleButton()->isHidden())
        buttons.push_back({ "mode toggle", hud->toggleButton() });
    for (auto& [what, button] : buttons) {
        ASSERT_TRUE(button) << what;
        std::string before = hud->title();
        movePointer(display, centreOnScreen(*button));
        runFor(*app, 0.4);
        std::string shown = hud->title();
        EXPECT_NE(shown, before) << what << ": the title follows the pointer";
        EXPECT_FALSE(shown.empty()) << what;
        EXPECT_FALSE(looksLikeKey(shown)) << what << ": " << shown;
        if (std::string(what) == "exit") {
            EXPECT_EQ(shown, "Exit Full Screen");
        }
        // Off the button again: the movie's name comes back.
        movePointer(
            display, { screen.origin.x + screen.size.width / 2, screen.origin.y + screen.size.height - 40 });
        runFor(*app, 0.3);
    }
    XCloseDisplay(display);

    doc->exitFullScreen();
    runFor(*app, 0.5);
    doc->close();
#endif
}

} // namespace
