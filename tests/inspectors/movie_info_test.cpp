// The info panel and the movie inspector on the headless toolkit, with movies made by ffmpeg: what the
// panel shows for several kinds of movie, the five-line limit of the information text, rows reused and
// dropped as the attributes change, the layout arithmetic, placement and frame memory, following the
// main window, hiding for a full-screen presentation on the panel's screen, and the state kept at quit.
#include "document/movie_document.h"
#include "fullscreen/display_services.h"
#include "player/controls/hud_content_view.h"
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_window_controller.h"
#include "inspectors/movie_info.h"
#include "inspectors/movie_info_item_view.h"
#include "inspectors/window_frame_defaults.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/application.h"
#include "platform/winkit/box.h"
#include "platform/winkit/button.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/event.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"
#include "test_support.h"
#include "tests/platform/mvkit/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace movara::test;

namespace {

// The document's presentation as full screen makes it (null when the document has none).
std::shared_ptr<FSPresentationWindowController> presentationOf(MVPMovieDocument& doc)
{
    return std::dynamic_pointer_cast<FSPresentationWindowController>(doc.fsPresentationWindowController());
}

const std::vector<HXScreen> kScreens
    = { HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }),
          HXScreen(7, { { 1280, 0 }, { 1024, 768 } }, { { 1280, 0 }, { 1024, 768 } }) };

// A movie with six annotations in its user data: copyright, artist, album, author, description, comment.
std::filesystem::path annotatedMovie()
{
    static TempDir dir;
    static std::filesystem::path made = [] {
        auto path = dir / "annotated.mov";
        if (!haveProgram("ffmpeg"))
            return std::filesystem::path();
        auto r = runCommand({ "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
            "-i", "testsrc=size=64x48:rate=10:duration=1", "-c:v", "mjpeg", "-metadata", "copyright=Line one",
            "-metadata", "artist=Line two", "-metadata", "album=Line three", "-metadata", "author=Line four",
            "-metadata", "description=Line five", "-metadata", "comment=Line six", path.string() });
        return r.status == 0 ? path : std::filesystem::path();
    }();
    return made;
}

struct AnyDisplays : FSDisplayServices {
    std::optional<FSDisplayMode> currentMode(uint32_t) override
    {
        return FSDisplayMode { 1280, 800, 24, 60 };
    }
    std::vector<FSDisplayMode> availableModes(uint32_t) override { return { { 1280, 800, 24, 60 } }; }
    bool switchToMode(uint32_t, const FSDisplayMode&) override { return true; }
};

// The document's info panel as the inspectors made it.
std::shared_ptr<MovieInfo> panelOf(MVPInfoPanelDocument& document)
{
    return std::dynamic_pointer_cast<MovieInfo>(document.movieInfo());
}

class MovieInfoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MovieInfo::installDocumentInfoPanelMaker();
        server = HXHeadlessWindowServer::install(kScreens);
        HXRunLoop::main().setClock(clock);
        FSDisplayServices::setShared(displays);
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
        // The panel's texts come from the program's bundle.
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
        auto& defaults = HXUserDefaults::standardUserDefaults();
        defaults.removeObjectForKey(HXWindowFrameDefaults::keyForFrameName(MVPMovieInspectorFrameName));
        defaults.removeObjectForKey(MVPMovieInspectorShowPanelDefault);
    }
    void TearDown() override
    {
        MovieInfo::releaseMovieInspector();
        for (auto& doc : docs)
            doc->close();
        docs.clear();
        HXRunLoop::main().runUntilDate(HXRunLoop::main().now() + 0.1);
        FSDisplayServices::setShared(nullptr);
        HXDocumentController::setSharedDocumentController(nullptr);
        HXRunLoop::main().setClock(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    // A shown movie document of the file, known to the document controller.
    std::shared_ptr<MVPMovieDocument> open(const std::filesystem::path& path)
    {
        auto doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "Movie", false, nullptr);
        if (!doc)
            return nullptr;
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        docs.push_back(doc);
        return doc;
    }

    void wait(double seconds) { HXRunLoop::main().runUntilDate(HXRunLoop::main().now() + seconds); }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    std::shared_ptr<AnyDisplays> displays = std::make_shared<AnyDisplays>();
    std::vector<std::shared_ptr<MVPMovieDocument>> docs;
};

#define OPEN_OR_SKIP(doc, path)                                                                              \
    auto doc = (path).empty() ? nullptr : open(path);                                                        \
    if (!doc)                                                                                                \
    GTEST_SKIP() << "ffmpeg could not make the movie"

// The rows the panel should show: the document's pairs that have both a label and a value.
std::vector<std::pair<std::string, std::string>> expectedRows(const MVPMovieDocument& doc)
{
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& pair : doc.attributes())
        if (pair.label && pair.value)
            rows.emplace_back(*pair.label, *pair.value);
    return rows;
}

std::vector<std::pair<std::string, std::string>> shownRows(const MovieInfo& info)
{
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& row : info.infoItems())
        rows.emplace_back(row->label(), row->value());
    return rows;
}

TEST_F(MovieInfoTest, ShowsTitleAndEveryLabelledValueOfSeveralKindsOfMovie)
{
    struct Case {
        MovieFixture fixture;
        std::vector<std::string> someLabels; // labels that must be among the rows
        std::vector<std::string> noLabels; // and labels that must not
    };
    const Case cases[] = {
        { MovieFixture::H264AacMov, { "Source", "Format", "Movie FPS", "Duration", "Normal Size" }, {} },
        { MovieFixture::PcmWav, { "Source", "Format", "Duration" }, { "Movie FPS", "Normal Size" } },
        { MovieFixture::MjpegPcmAvi, { "Source", "Format", "Movie FPS" }, {} },
        { MovieFixture::MetadataMov, { "Source", "Format" }, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fixtureName(c.fixture));
        auto path = fixturePath(c.fixture);
        if (path.empty())
            GTEST_SKIP() << "ffmpeg could not make " << fixtureName(c.fixture);
        auto doc = open(path);
        ASSERT_TRUE(doc);
        auto info = panelOf(*doc);
        info->showHidePanel();
        ASSERT_TRUE(info->isVisible());
        EXPECT_TRUE(info->movieInfoPanel()->isVisible());
        EXPECT_EQ(info->movieInfoPanel()->title(), doc->displayName() + " Info");
        ASSERT_TRUE(info->titleView());
        EXPECT_EQ(info->titleView()->value(), doc->displayName());

        auto rows = shownRows(*info);
        EXPECT_EQ(rows, expectedRows(*doc));
        for (const auto& label : c.someLabels) {
            bool found
                = std::any_of(rows.begin(), rows.end(), [&](const auto& r) { return r.first == label; });
            EXPECT_TRUE(found) << label << " in " << ::testing::PrintToString(rows);
        }
        for (const auto& label : c.noLabels) {
            bool found
                = std::any_of(rows.begin(), rows.end(), [&](const auto& r) { return r.first == label; });
            EXPECT_FALSE(found) << label << " (a row without a value is left out)";
        }
        for (const auto& row : info->infoItems()) {
            EXPECT_EQ(row->frame().size.width, MovieInfoRowWidth);
            EXPECT_GE(row->frame().size.height, MovieInfoRowHeight);
            EXPECT_EQ(
                row->labelTextField()->frame().size, (HXSize { MovieInfoLabelWidth, MovieInfoRowHeight }));
            EXPECT_EQ(row->valueTextView()->frame().origin.x, MovieInfoValueX);
            // A value of two lines (the format of a movie with sound and picture) gets a taller row.
            if (row->value().find('\n') != std::string::npos) {
                EXPECT_GE(row->frame().size.height, 2 * row->valueTextView()->font().lineHeight())
                    << row->label();
            }
            EXPECT_EQ(row->frame().size.height, row->valueTextView()->frame().size.height);
        }
        doc->close();
        docs.pop_back();
        EXPECT_FALSE(info->isVisible()) << "a closing document takes its panel with it";
    }
}

TEST_F(MovieInfoTest, ShowsAtMostFiveInformationLines)
{
    OPEN_OR_SKIP(doc, annotatedMovie());
    ASSERT_EQ(doc->information().size(), 6u) << "the fixture carries six annotations";
    auto info = panelOf(*doc);
    info->showHidePanel();
    const auto& lines = doc->information();
    std::string firstFive = lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3] + "\n" + lines[4];
    EXPECT_EQ(info->informationView()->value(), firstFive);
    EXPECT_EQ(std::count(firstFive.begin(), firstFive.end(), '\n'), 4);
    EXPECT_NE(firstFive.find("Line one"), std::string::npos) << "the copyright comes first";
    // Five lines need more than one line's height.
    EXPECT_GT(info->informationView()->frame().size.height, 4 * HXFont::systemFontOfSize(11).lineHeight());
}

TEST_F(MovieInfoTest, LaysTheViewsOutFromTheTopAndKeepsThePanelsTopEdge)
{
    OPEN_OR_SKIP(doc, fixturePath(MovieFixture::H264AacMov));
    auto info = panelOf(*doc);
    info->showHidePanel();
    const auto& rows = info->infoItems();
    ASSERT_GE(rows.size(), 2u);

    // Rows: the last at the bottom of their container, each 3 points above the one below it.
    EXPECT_EQ(rows.back()->frame().origin.y, 0);
    for (size_t i = 0; i + 1 < rows.size(); ++i)
        EXPECT_EQ(rows[i]->frame().origin.y, HXMaxY(rows[i + 1]->frame()) + MovieInfoRowGap) << i;
    double details = 0;
    for (const auto& row : rows)
        details += row->frame().size.height + MovieInfoRowGap;
    EXPECT_EQ(info->detailsView()->frame().size.height, details);

    double title = info->titleView()->frame().size.height;
    double information = info->informationView()->frame().size.height;
    double top = info->topView()->frame().size.height;
    EXPECT_EQ(top, info->separatorView()->frame().size.height + information + title + 9);
    auto panel = info->movieInfoPanel();
    double contentHeight = panel->contentView()->frame().size.height;
    EXPECT_EQ(contentHeight, details + MovieInfoTitleBarHeight + top + MovieInfoBottomMargin);
    EXPECT_EQ(info->topView()->frame().origin.y, contentHeight - MovieInfoTitleBarHeight - top);
    EXPECT_EQ(info->detailsView()->frame().origin.y, 7) << "7 points are left under the rows";
    EXPECT_EQ(info->titleView()->frame().origin.y, top - title);
    EXPECT_EQ(info->separatorView()->frame().origin, (HXPoint { 8, 0 }));

    // Beside the player window, tops level.
    auto window = doc->movieWindow();
    EXPECT_EQ(HXMaxY(panel->frame()), HXMaxY(window->frame()));
    EXPECT_EQ(panel->frame().origin.x, HXMaxX(window->frame()) + 5);

    // Another movie with fewer rows: the first rows are the same views, the extra ones go; the top stays.
    auto firstRow = rows.front();
    double panelTop = HXMaxY(panel->frame());
    size_t before = rows.size();
    auto path = fixturePath(MovieFixture::PcmWav);
    if (path.empty())
        GTEST_SKIP();
    doc->setMovie(MVMovie::movieWithFile(path.string(), nullptr));
    doc->updateAttributes();
    EXPECT_EQ(shownRows(*info), expectedRows(*doc));
    EXPECT_LT(info->infoItems().size(), before);
    EXPECT_EQ(info->infoItems().front(), firstRow) << "reused in place";
    EXPECT_EQ(HXMaxY(panel->frame()), panelTop);
    EXPECT_EQ(panel->contentView()->frame().size.height,
        info->detailsView()->frame().size.height + MovieInfoTitleBarHeight
            + info->topView()->frame().size.height + MovieInfoBottomMargin);
}

TEST_F(MovieInfoTest, ADocumentPanelOpensWhereItWasClosed)
{
    OPEN_OR_SKIP(doc, fixturePath(MovieFixture::H264AacMov));
    auto info = panelOf(*doc);
    info->showHidePanel();
    auto panel = info->movieInfoPanel();
    panel->setFrameOrigin({ 40, 300 });
    HXRect moved = panel->frame();
    info->showHidePanel();
    EXPECT_TRUE(info->isVisible()) << "a document's panel comes to the front, it does not hide";
    // The close button of the heads-up title bar.
    auto content = std::dynamic_pointer_cast<HUDContentView>(panel->contentView());
    ASSERT_TRUE(content);
    content->closeButton()->performClick();
    EXPECT_FALSE(info->isVisible());
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(info->infoItems().empty()) << "the views are taken out while closed";
    info->showHidePanel();
    EXPECT_EQ(panel->frame(), moved);
    EXPECT_EQ(shownRows(*info), expectedRows(*doc));
}

TEST_F(MovieInfoTest, TheInspectorWithoutADocumentSaysSo)
{
    auto inspector = MovieInfo::movieInspector();
    inspector->showHidePanel();
    ASSERT_TRUE(inspector->isVisible());
    EXPECT_EQ(inspector->movieInfoPanel()->title(), "Movie Inspector");
    EXPECT_EQ(inspector->titleView()->value(), "No movie");
    EXPECT_TRUE(inspector->infoItems().empty());
    EXPECT_EQ(inspector->informationView()->value(), "");
    // Near the top right of the main screen.
    HXRect frame = inspector->movieInfoPanel()->frame();
    EXPECT_EQ(HXMaxX(frame), 1280 - 10);
    EXPECT_EQ(HXMaxY(frame), 778 - 10 + 1);
    EXPECT_EQ(inspector->movieInfoPanel()->level(), HXFloatingWindowLevel);
    EXPECT_FALSE(inspector->movieInfoPanel()->canBecomeMainWindow());
    inspector->showHidePanel();
    EXPECT_FALSE(inspector->isVisible()) << "the inspector's command toggles";
}

TEST_F(MovieInfoTest, TheInspectorFollowsThePlayerWindowThatIsMain)
{
    auto pathA = fixturePath(MovieFixture::H264AacMov);
    auto pathB = fixturePath(MovieFixture::MjpegPcmMov);
    if (pathA.empty() || pathB.empty())
        GTEST_SKIP() << "ffmpeg could not make the movies";
    auto a = open(pathA);
    auto b = open(pathB);
    ASSERT_TRUE(a && b);
    a->movieWindow()->makeKeyAndOrderFront();
    auto inspector = MovieInfo::movieInspector();
    inspector->showHidePanel();
    EXPECT_EQ(inspector->document(), a);
    EXPECT_EQ(inspector->titleView()->value(), a->displayName());

    b->movieWindow()->makeKeyAndOrderFront();
    EXPECT_EQ(inspector->document(), b);
    EXPECT_EQ(shownRows(*inspector), expectedRows(*b));

    // A window of no document: the last movie stays once the main window has settled.
    auto other = std::make_shared<HXWindow>(HXRect { { 500, 100 }, { 200, 100 } }, HXTitledWindowMask);
    other->makeKeyAndOrderFront();
    wait(0.1);
    EXPECT_EQ(inspector->document(), b);
    other->close();

    // Closing the shown movie's window: the other movie.
    b->movieWindow()->makeKeyAndOrderFront();
    b->close();
    docs.erase(std::find(docs.begin(), docs.end(), b));
    wait(0.1);
    EXPECT_EQ(inspector->document(), a);

    // Closing the last: nothing.
    a->close();
    docs.clear();
    wait(0.1);
    EXPECT_EQ(inspector->document(), nullptr);
    EXPECT_EQ(inspector->titleView()->value(), "No movie");
}

TEST_F(MovieInfoTest, HidesForAFullScreenPresentationOnItsScreenOnly)
{
    struct Case {
        const char* name;
        bool inspector;
        HXPoint panelOrigin; // on the first screen (presented on) or the second
        bool hides;
    };
    const Case cases[] = {
        { "document panel on the presenting screen", false, { 900, 400 }, true },
        { "document panel on another screen", false, { 1500, 400 }, false },
        { "inspector on the presenting screen", true, { 100, 500 }, true },
        { "inspector on another screen", true, { 1600, 500 }, false },
    };
    auto path = fixturePath(MovieFixture::H264AacMov);
    if (path.empty())
        GTEST_SKIP();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = open(path);
        ASSERT_TRUE(doc);
        doc->movieWindow()->makeKeyAndOrderFront();
        auto info = c.inspector ? MovieInfo::movieInspector() : panelOf(*doc);
        info->showHidePanel();
        ASSERT_TRUE(info->isVisible());
        info->movieInfoPanel()->setFrameOrigin(c.panelOrigin);

        doc->enterFullScreenWithSettings(std::nullopt);
        ASSERT_TRUE(doc->isFullScreen());
        EXPECT_EQ(presentationOf(*doc)->presentationScreen(), kScreens[0]);
        EXPECT_EQ(info->isVisible(), !c.hides);
        EXPECT_EQ(info->movieInfoPanel()->isVisible(), !c.hides);
        EXPECT_EQ(info->hidInfoPanelForFullScreen(), c.hides);
        EXPECT_EQ(panelOf(*doc)->shouldMenuItemBeValid(), false) << "no document panel while presenting";
        EXPECT_TRUE(MovieInfo::movieInspector()->shouldMenuItemBeValid());

        doc->exitFullScreen();
        EXPECT_TRUE(info->isVisible()) << "back when the presentation ends";
        EXPECT_FALSE(info->hidInfoPanelForFullScreen());
        EXPECT_EQ(info->document(), doc);
        EXPECT_EQ(info->movieInfoPanel()->frame().origin, c.panelOrigin) << "where it was";
        EXPECT_EQ(shownRows(*info), expectedRows(*doc));

        info->hidePanel();
        doc->close();
        docs.clear();
        wait(0.1);
    }
}

TEST_F(MovieInfoTest, QuittingKeepsTheInspectorsFrameAndVisibilityForTheNextLaunch)
{
    auto inspector = MovieInfo::movieInspector();
    inspector->showHidePanel();
    inspector->movieInfoPanel()->setFrameOrigin({ 220, 330 });
    HXRect frame = inspector->movieInfoPanel()->frame();
    HXNotificationCenter::defaultCenter().postNotificationName(HXApplicationWillTerminateNotification);
    auto& defaults = HXUserDefaults::standardUserDefaults();
    EXPECT_TRUE(defaults.boolForKey(MVPMovieInspectorShowPanelDefault));
    char expected[128];
    std::snprintf(expected, sizeof expected, "%.0f %.0f %.0f %.0f 0 0 1280 778", frame.origin.x,
        frame.origin.y, frame.size.width, frame.size.height);
    EXPECT_EQ(defaults.stringForKey("HXWindow Frame MVMovieInspectorWindowLocation"), expected);

    // The next showing in a new process starts from the saved frame.
    EXPECT_TRUE(HXWindowFrameDefaults::setFrameUsingName(
        *inspector->movieInfoPanel(), MVPMovieInspectorFrameName, true));
    EXPECT_EQ(inspector->movieInfoPanel()->frame(), frame);

    inspector->hidePanel();
    HXNotificationCenter::defaultCenter().postNotificationName(HXApplicationWillTerminateNotification);
    EXPECT_FALSE(defaults.boolForKey(MVPMovieInspectorShowPanelDefault));
}

TEST_F(MovieInfoTest, AnInspectorThatNeverShowedKeepsNoFrame)
{
    // Made by the menu's validation, never shown: its made-up frame is no place to open at next time.
    auto inspector = MovieInfo::movieInspector();
    HXNotificationCenter::defaultCenter().postNotificationName(HXApplicationWillTerminateNotification);
    auto& defaults = HXUserDefaults::standardUserDefaults();
    EXPECT_TRUE(defaults.stringForKey("HXWindow Frame MVMovieInspectorWindowLocation").empty());
    inspector->showHidePanel();
    HXRect frame = inspector->movieInfoPanel()->frame();
    HXRect visible = kScreens[0].visibleFrame();
    EXPECT_TRUE(HXContainsRect(visible, frame)) << "near the top right of the main screen, wholly on it";
    EXPECT_GT(HXMidX(frame), HXMidX(visible));
    EXPECT_GT(HXMidY(frame), HXMidY(visible));
}

TEST(MovieInfoFrameDefaults, ReadsOnlyWellFormedFrames)
{
    struct Case {
        const char* text;
        std::optional<HXRect> frame;
    };
    const Case cases[] = {
        { "10 20 350 100 0 0 1280 778", HXRect { { 10, 20 }, { 350, 100 } } },
        { "10 20 350 100", HXRect { { 10, 20 }, { 350, 100 } } },
        { "-300 20 350 100 -1280 0 1280 800", HXRect { { -300, 20 }, { 350, 100 } } },
        { "", std::nullopt },
        { "10 20 350", std::nullopt },
        { "10 20 350 100 0 0", std::nullopt },
        { "10 20 0 100", std::nullopt },
        { "10 20 350 -5", std::nullopt },
        { "ten 20 350 100", std::nullopt },
        { "10 20 350 100 junk", std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HXWindowFrameDefaults::frameFromString(c.text), c.frame) << "'" << c.text << "'";
}

TEST_F(MovieInfoTest, AFrameSavedOnAScreenThatIsGoneIsNotUsed)
{
    HXUserDefaults::standardUserDefaults().setString("5000 5000 350 100 5000 0 1024 768",
        HXWindowFrameDefaults::keyForFrameName(MVPMovieInspectorFrameName));
    auto inspector = MovieInfo::movieInspector();
    inspector->showHidePanel();
    HXRect frame = inspector->movieInfoPanel()->frame();
    EXPECT_TRUE(HXIntersectsRect(frame, kScreens[0].visibleFrame())) << "placed on the main screen instead";
}

TEST_F(MovieInfoTest, ScrollWheelEventsStopAtThePanel)
{
    auto inspector = MovieInfo::movieInspector();
    auto scroll = HXEvent::mouseEvent(HXScrollWheel, { 10, 10 }, 0, 0, 0, 0);
    auto click = HXEvent::mouseEvent(HXLeftMouseDown, { 10, 10 }, 0, 0, 0, 1);
    EXPECT_TRUE(inspector->handleEvent(scroll));
    EXPECT_FALSE(inspector->handleEvent(click));
}

} // namespace
