// The composition document in the player's window: its transport, the scripting commands, its attribute
// rows, full screen, and saving it as a movie that takes its place.
#include "player/window/composition_window_controller.h"
#include "tests/document/composition_test_support.h"

#include "platform/mvkit/movie.h"
#include "platform/vckit/composition_movie_export.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"

#include <filesystem>

namespace movara::test::document {
namespace {

// The document's window as the player makes it.
std::shared_ptr<MVPVitrelCompController> windowController(const MVPVitrelCompDocument& doc)
{
    return std::dynamic_pointer_cast<MVPVitrelCompController>(doc.vitrelController());
}

TEST_F(CompositionDocumentTest, PlaysInItsWindowAndTheButtonAndSpaceToggle)
{
    auto doc = openComposition();
    ASSERT_TRUE(doc);
    auto controller = windowController(*doc);
    ASSERT_TRUE(controller);
    auto view = doc->vcView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->composition(), doc->composition());
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_EQ(controller->window()->title(), "Blue Hour");
    EXPECT_FALSE(view->isSafeMode());
    // Auto-play is off by default: rendering, paused.
    EXPECT_TRUE(view->isRendering());
    EXPECT_TRUE(view->isPausedRendering());
    EXPECT_FALSE(controller->shouldPlay());

    controller->playPauseButton()->performClick();
    EXPECT_TRUE(controller->shouldPlay());
    clock->advance(1.0);
    EXPECT_NEAR(view->renderTime(), 1.0, 0.05);
    EXPECT_EQ(controller->playPauseButton()->buttonImageSet(),
        MVPButtonImageSet::imageSetWithBaseImageName("Pause"));

    HXHeadlessWindowServer::postKey(controller->window(), " ", 0, 49);
    app->processPendingEvents();
    EXPECT_FALSE(controller->shouldPlay()) << "space clicks play/pause";
    EXPECT_TRUE(view->isPausedRendering());
    EXPECT_EQ(controller->playPauseButton()->buttonImageSet(),
        MVPButtonImageSet::imageSetWithBaseImageName("Play"));

    controller->rewindButtonPushed();
    EXPECT_EQ(view->renderTime(), 0);
}

TEST_F(CompositionDocumentTest, ScriptingPlayAndPauseActOnTheStateTheyChange)
{
    auto doc = openComposition();
    ASSERT_TRUE(doc);
    auto view = doc->vcView();
    ASSERT_TRUE(view->isPausedRendering());
    doc->handlePauseCommand();
    EXPECT_TRUE(view->isPausedRendering()) << "pausing a paused composition changes nothing";
    doc->handlePlayCommand();
    EXPECT_FALSE(view->isPausedRendering()) << "play starts a paused composition";
    EXPECT_TRUE(windowController(*doc)->shouldPlay());
    clock->advance(2.0);
    doc->handlePlayCommand();
    EXPECT_NEAR(view->renderTime(), 2.0, 0.05);
    doc->handlePauseCommand();
    EXPECT_TRUE(view->isPausedRendering()) << "pause stops a playing composition";
    doc->handleRewindCommand();
    EXPECT_EQ(view->renderTime(), 0);
}

TEST_F(CompositionDocumentTest, AttributeRowsFollowTheView)
{
    auto doc = openComposition();
    ASSERT_TRUE(doc);
    auto changes = count(kMVPMediaAttributesHaveChangedNotification, doc.get());
    doc->handlePlayCommand();
    clock->advance(1.5);
    const auto& rows = doc->attributes();
    ASSERT_EQ(rows.size(), 4u);
    HXRect frame = doc->vcView()->frame();
    EXPECT_EQ(rows[3].value,
        std::to_string(int(frame.size.width)) + " x " + std::to_string(int(frame.size.height)));
    ASSERT_TRUE(rows[1].value);
    EXPECT_NEAR(std::stod(*rows[1].value), 30, 0.1) << "the frame rate of a composition that plays on time";
    EXPECT_GT(*changes, 0);
    EXPECT_EQ(doc->information(), (std::vector<std::string> { "A square that drifts.", "Movara" }));

    // A resized view reports its new size.
    doc->vcView()->setFrameSize({ 200, 100 });
    EXPECT_EQ(doc->attributes()[3].value, "200 x 100");
    doc->vcView()->stopRendering();
    EXPECT_EQ(doc->attributes()[1].value, "0");
    EXPECT_EQ(doc->attributes()[2].value, "0%");
}

TEST_F(CompositionDocumentTest, NetworkCompositionsRunInSafeMode)
{
    auto url = *HXURL::URLWithString("http://127.0.0.1:9/blue.vcomp");
    auto options = MVPVitrelCompController::compositionLoadOptions(url);
    EXPECT_TRUE(options.at(VCViewEnableSafeModeOption).boolValue());
    EXPECT_EQ(options.at(VCViewCompositionURLOption).stringValue(), "http://127.0.0.1:9/blue.vcomp");
    EXPECT_TRUE(
        MVPVitrelCompController::compositionLoadOptions(HXURL::fileURLWithPath("/tmp/a.vcomp")).empty());

    auto doc = std::make_shared<MVPVitrelCompDocument>();
    ASSERT_TRUE(doc->readFromData(kComposition, url, nullptr));
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    docs.push_back(doc);
    EXPECT_TRUE(doc->vcView()->isSafeMode());
}

TEST_F(CompositionDocumentTest, RenderTimeSurvivesMiniaturizing)
{
    auto doc = openComposition();
    ASSERT_TRUE(doc);
    auto view = doc->vcView();
    doc->vitrelController()->play();
    clock->advance(1.0);
    auto window = windowController(*doc)->window();
    window->miniaturize();
    double kept = view->renderTime();
    view->setRenderTime(7);
    window->deminiaturize();
    EXPECT_NEAR(view->renderTime(), kept, 1e-9);
}

TEST_F(CompositionDocumentTest, FullScreenTogglesAndLeavesWhenTheAppGoesInactive)
{
    auto doc = openComposition();
    ASSERT_TRUE(doc);
    auto view = doc->vcView();
    doc->fullScreen();
    ASSERT_TRUE(view->isInFullScreenMode());
    HXMenuItem info("Info", HXSelector("showMovieInfo:"), "");
    EXPECT_FALSE(doc->validateMenuItem(info)) << "no info panel while full screen";
    doc->fullScreen();
    EXPECT_FALSE(view->isInFullScreenMode());
    EXPECT_EQ(view->window(), windowController(*doc)->window());

    doc->fullScreen();
    doc->fullScreenWindowDidResignMain();
    clock->advance(0.1);
    EXPECT_FALSE(view->isInFullScreenMode()) << "left on the next turn of the run loop";

    setPreference("kFullscreenPreferenceRemainInFullScreenWhenInactive", true);
    doc->fullScreen();
    doc->fullScreenWindowDidResignMain();
    clock->advance(0.1);
    EXPECT_TRUE(view->isInFullScreenMode());
    doc->fullScreen();
}

TEST_F(CompositionDocumentTest, SavingRendersAMovieThatTakesTheDocumentsPlace)
{
    auto doc = openComposition();
    ASSERT_TRUE(doc);
    windowController(*doc)->setSaveDuration(1);
    HXRect compositionFrame = windowController(*doc)->window()->frame();
    std::string path = (dir / "saved.mov").string();
    HXError error;
    ASSERT_TRUE(doc->saveToURL(HXURL::fileURLWithPath(path), &error)) << error.localizedDescription();
    EXPECT_TRUE(doc->isClosed());
    auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc->savedMovieDocument());
    ASSERT_TRUE(movieDoc);
    docs.push_back(movieDoc);
    double seconds = 0;
    MVGetTimeInterval(movieDoc->movie()->duration(), &seconds);
    EXPECT_NEAR(seconds, 1.0, 0.01);
    HXSize natural = movieDoc->naturalSize();
    EXPECT_GT(natural.width, 0);
    auto movieWindow = movieDoc->movieWindow();
    ASSERT_TRUE(movieWindow);
    EXPECT_TRUE(movieWindow->isVisible());
    EXPECT_EQ(HXMinX(movieWindow->frame()), HXMinX(compositionFrame));
    EXPECT_EQ(HXMaxY(movieWindow->frame()), HXMaxY(compositionFrame))
        << "the movie window takes the top-left corner";

    // A failed render is shown and keeps the composition document.
    auto second = openComposition();
    int alerts = 0;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        ++alerts;
        alert.buttons().at(0)->performClick();
    });
    EXPECT_FALSE(second->saveToURL(HXURL::fileURLWithPath((dir / "no/such/folder/x.mov").string()), &error));
    EXPECT_EQ(alerts, 1);
    EXPECT_FALSE(second->isClosed());
    EXPECT_FALSE(std::filesystem::exists(dir / "no/such/folder/x.mov"));
    EXPECT_EQ(second->writableTypesForSaveOperation(), (std::vector<std::string> { "Movie-Movara" }));
}

} // namespace
} // namespace movara::test::document
