// The time display in the standard player window on a real X display, showing the program's featured
// movie: while the movie plays the time it shows runs on, and a time typed into its time-code field moves
// the movie there.
#include "test_support.h"

#include "document/movie_document.h"
#include "player/timeline/lcd_view.h"
#include "player/window/movie_view.h"
#include "player/window/movie_window_controller.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

// Last: it brings Xlib, whose macros clash with names in the headers above.
#include "display_capture.h"

#ifdef MOVARA_HAVE_SDL_BACKEND
using movara::test::display::runFor;
#endif

namespace {

#ifdef MOVARA_HAVE_SDL_BACKEND
HXEvent key(const HXWindow& window, const std::string& characters)
{
    return HXEvent::keyEvent(
        HXKeyDown, HXMakePoint(0, 0), 0, 0, window.windowNumber(), characters, characters, false, 0);
}
#endif

TEST(LCDPlayerWindowDisplay, TheTimeRunsWhilePlayingAndATypedTimeMovesTheMovie)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
    ::setenv("MOVARA_SILENT_AUDIO", "1", 0);
    // The featured movie: three seconds of colour bars with a tone. When the bundle has not been given it
    // yet, a movie of the same make stands in.
    movara::test::TempDir folder;
    std::string path = std::string(MOVARA_BUNDLE_DIR) + "/Resources/tvbutton.mov";
    if (!std::filesystem::exists(path)) {
        if (!movara::test::haveProgram("ffmpeg"))
            GTEST_SKIP() << "no featured movie and no ffmpeg to make one";
        path = (folder / "tvbutton.mov").string();
        auto made = movara::test::runCommand({ "ffmpeg", "-v", "error", "-f", "lavfi", "-i",
            "smptebars=size=320x240:rate=25:duration=3", "-f", "lavfi", "-i",
            "sine=frequency=440:sample_rate=44100:duration=3", "-c:v", "mpeg4", "-c:a", "aac", path });
        ASSERT_EQ(made.status, 0);
    }
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();

    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);
    HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());

    auto document = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    HXDocumentController::sharedDocumentController()->addDocument(document);
    document->makeWindowControllers();
    document->showWindows();
    auto controller = std::dynamic_pointer_cast<MVPMovieWindowController>(document->playerWindowController());
    ASSERT_TRUE(controller);
    auto window = controller->window();
    runFor(*app, 0.5);
    auto lcd = controller->LCDView();
    ASSERT_TRUE(lcd);
    auto field = lcd->timeCodeField();
    ASSERT_TRUE(field) << "the window's display shows an editable time";
    EXPECT_TRUE(field->isEditable());
    EXPECT_EQ(field->stringValue(), "00:00:00");

    // ---- Playing: the shown time runs on, second by second.
    auto playback = controller->movieView()->playback();
    ASSERT_TRUE(playback);
    playback->play();
    std::set<std::string> shown;
    runFor(*app, 2.6, 0.02, [&] { shown.insert(field->stringValue()); });
    EXPECT_TRUE(lcd->isPlaying());
    EXPECT_TRUE(shown.count("00:00:01")) << "the time ran through the first second";
    EXPECT_TRUE(shown.count("00:00:02")) << "and on into the next";
    playback->stop();
    runFor(*app, 0.3);
    EXPECT_FALSE(lcd->isPlaying());
    double stopped = 0;
    MVGetTimeInterval(movie->currentTime(), &stopped);
    EXPECT_EQ(field->stringValue(), "00:00:0" + std::to_string(int(stopped)))
        << "it stops where the movie did";

    // ---- Typing a time: back-tab into the field selects its seconds; 0 1 and Return go there.
    window->makeFirstResponder(nullptr);
    window->setInitialFirstResponder(field);
    app->sendEvent(key(*window, std::string(1, char(25))));
    ASSERT_TRUE(field->isEditing());
    for (const char* c : { "0", "1", "\r" })
        app->sendEvent(key(*window, c));
    runFor(*app, 0.3);
    EXPECT_FALSE(field->isEditing());
    double now = 0;
    MVGetTimeInterval(movie->currentTime(), &now);
    EXPECT_DOUBLE_EQ(now, 1.0);
    EXPECT_EQ(field->stringValue(), "00:00:01");
    EXPECT_NEAR(lcd->mediaSource().currentTimePercent(), 1.0 / 3, 0.01) << "the playhead went there too";

    document->close();
    HXDocumentController::setSharedDocumentController(nullptr);
#endif
}

} // namespace
