// Each pane in the properties window on a real X display, loaded from its built bundle: the tab is
// selected for the object it inspects, the screen shows what the toolkit drew, and the pane's labels are
// drawn inside its view. Screenshots are kept as <Pane>_display.png in the tests' build folder.
#include "inspectors/property_inspector_browser.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/track.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/tab_view.h"

#include "pane_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

// Last: it brings Xlib.
#include "display_capture.h"

namespace {

using namespace movara::test;

// Shows the pane `className` for the object `pick` chooses from the movie and checks the screen.
void showPane(const std::string& className, const std::function<MVPInspectedObject(const std::shared_ptr<MVMovie>&)>& pick)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto app = display::onScreenApplication();
    ASSERT_TRUE(app);
    HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
    auto classes = MVPPropertyInspectorBrowser::inspectorClassesAtPath(MOVARA_PANES_DIR);
    ASSERT_EQ(classes.size(), 7u) << "every pane bundle loads";
    MVPPropertyInspectorBrowser::setInspectorClasses(classes);

    auto movie = m.movie;
    movie->setDisplayName("Panes");
    auto hint = movie->newTrack(MVFourCC("hint"), 600);
    MVBytes hinf { 0, 0, 0, 12, 'n', 'p', 'c', 'k', 0, 0, 0, 42, 0, 0, 0, 12, 'p', 'm', 'a', 'x', 0, 0, 5, 0xAA };
    MVUserDataAddItem(hint->userData(), MVFourCC("hinf"), hinf);
    movie->newTrack(0x7374726D, 600); // a streaming track

    MVPInspectedObject object = pick(movie); // before the window makes its first pane
    auto browser = MVPPropertyInspectorBrowser::browserForMovie(movie);
    browser->showWindow();
    auto window = browser->window();
    ASSERT_TRUE(window && window->isVisible());
    window->setFrameOrigin({ 60, 120 });
    browser->setInspectedObjects({ object });
    auto tabs = browser->tabView();
    long index = tabs->indexOfTabViewItemWithIdentifier(className);
    ASSERT_GE(index, 0) << className << " offers a tab";
    tabs->selectTabViewItemAtIndex(index);
    display::runFor(*app, 1.0);

    auto pane = browser->activeInspector();
    ASSERT_TRUE(pane);
    auto view = pane->view();
    ASSERT_TRUE(view && view->window() == window) << "the pane's view is in the window";
    auto shot = display::captureWindow(name, *window, className + "_display.png");
    ASSERT_GT(shot.pixels, 0);
    EXPECT_LT(shot.mismatches, shot.pixels / 50) << "the screen shows what the toolkit drew";

    HXRect inWindow = view->convertRectToView(view->visibleRect(), nullptr);
    double contentHeight = window->contentRectForFrameRect(window->frame()).size.height;
    int dark = 0;
    for (int y = int(contentHeight - inWindow.origin.y - inWindow.size.height); y < int(contentHeight - inWindow.origin.y); ++y)
        for (int x = int(inWindow.origin.x); x < int(inWindow.origin.x + inWindow.size.width); ++x) {
            uint32_t p = window->renderedPixelRGBA(x, y) >> 8;
            dark += ((p >> 16) & 0xFF) < 90 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90;
        }
    EXPECT_GT(dark, 40) << "the pane's labels and values are drawn";

    window->performClose();
    browser.reset();
    MVPPropertyInspectorBrowser::setInspectorClasses({});
    HXDocumentController::setSharedDocumentController(nullptr);
#endif
}

std::shared_ptr<MVTrack> firstOfType(const std::shared_ptr<MVMovie>& movie, uint32_t type)
{
    auto tracks = movie->tracksOfMediaType(type);
    return tracks.empty() ? nullptr : tracks[0];
}

} // namespace

TEST(PanesDisplay, DataReferences)
{
    showPane("MVPSourcesPane", [](const auto& movie) { return MVPInspectedObject(movie); });
}

TEST(PanesDisplay, Annotations)
{
    showPane("MVPMetadataPane", [](const auto& movie) {
        MVUserDataSetText(movie->userData(), 0xA96E616D, "A title shown in the table");
        return MVPInspectedObject(movie);
    });
}

TEST(PanesDisplay, Audio)
{
    showPane("MVPAudioInspector", [](const auto& movie) { return MVPInspectedObject(firstOfType(movie, MVFourCC("soun"))); });
}

TEST(PanesDisplay, PlaybackOptions)
{
    showPane("MVPPlaybackOptionsPaneFactory", [](const auto& movie) { return MVPInspectedObject(movie); });
}

TEST(PanesDisplay, VisualTrack)
{
    showPane("MVPPicturePane", [](const auto& movie) { return MVPInspectedObject(firstOfType(movie, MVFourCC("vide"))); });
}

TEST(PanesDisplay, HintTrack)
{
    showPane("MVPPacketInfoPane", [](const auto& movie) { return MVPInspectedObject(firstOfType(movie, MVFourCC("hint"))); });
}

TEST(PanesDisplay, StreamingStatistics)
{
    showPane("MVPThroughputPane", [](const auto& movie) { return MVPInspectedObject(firstOfType(movie, 0x7374726D)); });
}
