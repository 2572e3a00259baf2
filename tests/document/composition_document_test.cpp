// The composition document: which document a composition file becomes, its window and transport, the
// scripting commands, its attribute rows, full screen, and saving it as a movie that takes its place.
#include "document/composition_document.h"
#include "movie_document_test_support.h"

#include "platform/mvkit/movie.h"
#include "platform/vckit/composition_movie_export.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"
#include "test_support.h"

#include <filesystem>

namespace movara::test::document {
namespace {

const char* kComposition = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>name</key><string>Blue Hour</string>
  <key>description</key><string>A square that drifts.</string>
  <key>copyright</key><string>Movara</string>
  <key>size</key><array><integer>64</integer><integer>48</integer></array>
  <key>layers</key><array>
    <dict><key>type</key><string>color</string><key>color</key><array><real>0</real><real>0</real><real>1</real></array></dict>
  </array>
</dict></plist>)";

class CompositionDocumentTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        clock = std::make_shared<HXManualClock>();
        HXRunLoop::main().setClock(clock);
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
        writeFile(dir / "blue.vcomp", kComposition);
    }
    void TearDown() override
    {
        for (auto& doc : std::vector(docs))
            if (!doc->isClosed())
                doc->close();
        docs.clear();
        MVPVitrelCompDocument::setVitrelSupportedOverride(std::nullopt);
        DocumentTest::TearDown();
        HXRunLoop::main().setClock(nullptr);
    }

    std::shared_ptr<MVPVitrelCompDocument> openComposition()
    {
        HXError error;
        auto doc = std::dynamic_pointer_cast<MVPVitrelCompDocument>(
            MVPVitrelCompDocument::documentWithContentsOfFile(
                (dir / "blue.vcomp").string(), MVPVitrelCompositionDocumentType, &error));
        EXPECT_TRUE(doc) << error.localizedDescription();
        if (!doc)
            return nullptr;
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        docs.push_back(doc);
        return doc;
    }

    TempDir dir;
    std::shared_ptr<HXManualClock> clock;
    std::vector<std::shared_ptr<HXDocument>> docs;
};

TEST(CompositionAttributes, RatesAndLoadsAreWrittenWholeOrWithTwoDecimals)
{
    struct Case {
        double value;
        const char* fps;
        const char* load;
    };
    const Case cases[] = { { 30, "30", "30%" }, { 29.97, "29.97", "29.97%" }, { 12.5, "12.50", "12.50%" },
        { 0, "0", "0%" }, { 100, "100", "100%" } };
    for (const auto& c : cases) {
        EXPECT_EQ(MVPVitrelCompDocument::fpsStringForRate(c.value), c.fps);
        EXPECT_EQ(MVPVitrelCompDocument::loadStringForLoad(c.value), c.load);
    }
}

TEST_F(CompositionDocumentTest, ACompositionOpensAsACompositionUnlessTheLayerIsMissing)
{
    EXPECT_TRUE(MVPVitrelCompDocument::isVitrelSupported()) << "the composition layer is linked in";
    HXError error;
    auto doc = MVPVitrelCompDocument::documentWithContentsOfFile(
        (dir / "blue.vcomp").string(), MVPVitrelCompositionDocumentType, &error);
    ASSERT_TRUE(std::dynamic_pointer_cast<MVPVitrelCompDocument>(doc));
    EXPECT_EQ(doc->displayName(), "Blue Hour");

    // Without the layer the file goes to the movie document: a movie file opens as one.
    MVPVitrelCompDocument::setVitrelSupportedOverride(false);
    std::string moviePath = (dir / "m.mov").string();
    ASSERT_TRUE(VCCompositionFileWriteMovieFile((dir / "blue.vcomp").string(), moviePath, 0, 0, 0.2, &error));
    auto movieDoc = MVPVitrelCompDocument::documentWithContentsOfFile(moviePath, "Movie-Movara", &error);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieDocument>(movieDoc));
    auto failed = MVPVitrelCompDocument::documentWithContentsOfFile(
        (dir / "blue.vcomp").string(), "Movie-Movara", &error);
    EXPECT_FALSE(failed) << "a composition is no movie";

    MVPVitrelCompDocument::setVitrelSupportedOverride(true);
    EXPECT_FALSE(MVPVitrelCompDocument::documentWithContentsOfFile(
        (dir / "missing.vcomp").string(), MVPVitrelCompositionDocumentType, &error));
    EXPECT_EQ(error.domain(), VCCompositionErrorDomain);
}

TEST_F(CompositionDocumentTest, PlaysInItsWindowAndTheButtonAndSpaceToggle)
{
    auto doc = openComposition();
    ASSERT_TRUE(doc);
    auto controller = doc->vitrelController();
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
    EXPECT_TRUE(doc->vitrelController()->shouldPlay());
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
    auto window = doc->vitrelController()->window();
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
    EXPECT_EQ(view->window(), doc->vitrelController()->window());

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
    doc->vitrelController()->setSaveDuration(1);
    HXRect compositionFrame = doc->vitrelController()->window()->frame();
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
