// The properties window as the panes' host: which tabs a selection gets, when a pane starts, stops and
// goes, what happens to the document's undo history, and where the pane's view sits.
#include "property_test_support.h"

#include "inspectors/pane_content_view.h"
#include "inspectors/property_browser_table_view.h"
#include "inspectors/property_inspector_browser.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/undo_manager.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <functional>

using namespace movara::test::inspectors;

namespace {

class PropertyBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install(
            { HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }) });
        app = HXApplication::sharedApplication();
        undo.setGroupsByEvent(false);
        movie = movieWithTracks({ MVFourCC("vide"), MVFourCC("soun") });
        movie->setUndoManager(&undo);
        alpha = std::make_unique<LoggingPaneClass>("MVPAlphaPane", "A", log);
        beta = std::make_unique<LoggingPaneClass>(
            "MVPBetaPane", "B", log, [](const MVPInspectedObject& o) { return o.isTrack(); });
        MVPPropertyInspectorBrowser::setInspectorClasses({ alpha.get(), beta.get() });
    }

    void TearDown() override
    {
        browser.reset();
        movie->setUndoManager(nullptr);
        MVPPropertyInspectorBrowser::setInspectorClasses({});
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    void open()
    {
        browser = MVPPropertyInspectorBrowser::browserForMovie(movie);
        ASSERT_TRUE(browser);
        browser->showWindow();
    }

    void addUndoableEdit()
    {
        undo.beginUndoGrouping();
        undo.registerUndo(this, [] {});
        undo.endUndoGrouping();
    }

    std::vector<std::string> tabLabels() const
    {
        std::vector<std::string> labels;
        for (const auto& item : browser->tabView()->tabViewItems())
            labels.push_back(item->label());
        return labels;
    }

    std::shared_ptr<HXTextField> unavailableText() const
    {
        auto item = browser->tabView()->selectedTabViewItem();
        if (!item || !item->view())
            return nullptr;
        for (const auto& v : item->view()->subviews())
            if (auto field = std::dynamic_pointer_cast<HXTextField>(v))
                return field;
        return nullptr;
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    HXUndoManager undo;
    std::shared_ptr<MVMovie> movie;
    PaneLog log;
    std::unique_ptr<LoggingPaneClass> alpha, beta;
    std::shared_ptr<MVPPropertyInspectorBrowser> browser;
};

TEST_F(PropertyBrowserTest, TabsPanesAndUndoFollowSelectionTabsAndTheWindow)
{
    open();
    EXPECT_EQ(log, (PaneLog { "start A1" })) << "the movie row is selected at first";
    EXPECT_EQ(tabLabels(), (std::vector<std::string> { "A" }));
    auto table = browser->tableView();
    auto select = [&](HXIndexSet rows) { return [&, rows] { table->selectRowIndexes(rows, false); }; };
    std::string unavailable = HXLocalizedStringFromTable("inspectorUnavailable", "PropertyBrowser");

    struct Step {
        const char* what;
        std::function<void()> act;
        PaneLog events;
        bool undoKept;
        std::vector<std::string> tabs;
    };
    const Step steps[] = {
        { "a track row: tabs rebuilt, the last used pane again", select({ 1 }),
            { "stop A1", "free A1", "start A2" }, true, { "A", "B" } },
        { "another tab: undo cleared", [&] { browser->tabView()->selectTabViewItemAtIndex(1); },
            { "stop A2", "free A2", "start B1" }, false, { "A", "B" } },
        { "two rows: one unavailable tab", select({ 0, 1 }), { "stop B1", "free B1" }, true,
            { unavailable } },
        { "three rows: only the count changes", select({ 0, 1, 2 }), {}, true, { unavailable } },
        { "one track again: its last pane class", select({ 2 }), { "start B2" }, true, { "A", "B" } },
        { "the movie row: the last class refuses it, the first tab", select({ 0 }),
            { "stop B2", "free B2", "start A3" }, true, { "A" } },
        { "closing: stopped, undo cleared, pane kept", [&] { browser->window()->performClose(); },
            { "stop A3" }, false, { "A" } },
        { "showing again: the same pane restarts", [&] { browser->showWindow(); }, { "start A3" }, true,
            { "A" } },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        log.clear();
        addUndoableEdit();
        step.act();
        EXPECT_EQ(log, step.events);
        EXPECT_EQ(undo.canUndo(), step.undoKept);
        EXPECT_EQ(tabLabels(), step.tabs);
        if (step.tabs.front() == unavailable) {
            auto text = unavailableText();
            ASSERT_TRUE(text);
            EXPECT_EQ(text->stringValue(),
                HXString::format(HXLocalizedStringFromTable("multipleObjectsSelected", "PropertyBrowser"),
                    std::vector<HXPropertyList> {
                        HXPropertyList(int64_t(browser->inspectedObjects().size())) }));
            EXPECT_FALSE(browser->activeInspector());
        }
    }
    EXPECT_TRUE(browser->activeInspector());
    log.clear();
    browser.reset();
    EXPECT_EQ(log, (PaneLog { "stop A3", "free A3" })) << "released with the window";
}

TEST_F(PropertyBrowserTest, ArrowKeysSwitchTabsWithinTheRow)
{
    open();
    browser->tableView()->selectRow(1);
    ASSERT_EQ(browser->tabView()->numberOfTabViewItems(), 2);
    browser->tableView()->doCommandBySelector("moveRight:");
    EXPECT_EQ(browser->tabView()->indexOfTabViewItem(browser->tabView()->selectedTabViewItem()), 1);
    browser->tableView()->doCommandBySelector("moveRight:");
    EXPECT_EQ(browser->tabView()->indexOfTabViewItem(browser->tabView()->selectedTabViewItem()), 1)
        << "no tab after the last";
    browser->tableView()->doCommandBySelector("moveLeft:");
    EXPECT_EQ(browser->tabView()->indexOfTabViewItem(browser->tabView()->selectedTabViewItem()), 0);
    browser->tableView()->doCommandBySelector("moveDown:");
    EXPECT_EQ(browser->inspectedObjects().front(), MVPInspectedObject(movie->tracks()[1]))
        << "up and down stay the table's";
}

TEST_F(PropertyBrowserTest, OneWindowPerMovieUntilItGoes)
{
    open();
    EXPECT_EQ(MVPPropertyInspectorBrowser::browserForMovie(movie), browser);
    EXPECT_FALSE(MVPPropertyInspectorBrowser::browserForMovie(nullptr));
    auto other = movieWithTracks({ MVFourCC("soun") });
    auto otherBrowser = MVPPropertyInspectorBrowser::browserForMovie(other);
    EXPECT_NE(otherBrowser, browser);
    MVPPropertyInspectorBrowser* old = browser.get();
    browser.reset();
    browser = MVPPropertyInspectorBrowser::browserForMovie(movie);
    EXPECT_TRUE(browser);
    (void)old;
    EXPECT_EQ(MVPPropertyInspectorBrowser::browserForMovie(other), otherBrowser);
}

TEST_F(PropertyBrowserTest, WithoutAnyPaneTheWindowStillListsTheMovie)
{
    MVPPropertyInspectorBrowser::setInspectorClasses({});
    open();
    EXPECT_EQ(browser->objects().size(), 3u);
    EXPECT_EQ(tabLabels(),
        (std::vector<std::string> { HXLocalizedStringFromTable("inspectorUnavailable", "PropertyBrowser") }));
    EXPECT_FALSE(browser->activeInspector());
    browser->tableView()->selectRow(2);
    EXPECT_FALSE(browser->activeInspector());
}

TEST_F(PropertyBrowserTest, DeletingTracksIsOneUndoableStep)
{
    open();
    EXPECT_FALSE(browser->validateUserInterfaceItem(HXMenuItem("", "deleteSelectedTracks:", "")))
        << "the movie row alone cannot be deleted";
    browser->tableView()->selectRowIndexes({ 0, 2 }, false);
    ASSERT_TRUE(browser->validateUserInterfaceItem(HXMenuItem("", "deleteSelectedTracks:", "")));
    ASSERT_TRUE(browser->validateUserInterfaceItem(HXMenuItem("", "extractSelectedTracks:", "")));
    auto sound = movie->tracks()[1];
    undo.beginUndoGrouping();
    browser->deleteSelectedTracks();
    undo.endUndoGrouping();
    ASSERT_EQ(movie->tracks().size(), 1u) << "only the track goes";
    EXPECT_EQ(browser->objects().size(), 2u) << "the rows follow the movie";
    EXPECT_EQ(browser->inspectedObjects(), (std::vector<MVPInspectedObject> { MVPInspectedObject(movie) }));
    EXPECT_EQ(undo.undoActionName(), HXLocalizedStringFromTable("deleteTrackOperation", "PropertyBrowser"));
    undo.undo();
    ASSERT_EQ(movie->tracks().size(), 2u);
    EXPECT_EQ(movie->tracks()[1], sound);
    EXPECT_EQ(browser->objects().size(), 3u);
}

TEST_F(PropertyBrowserTest, AMovieWithoutControllerKeepsItOnlyWhileItHasAPicture)
{
    constexpr uint32_t none = 0x6E6F6E65, standard = 0x00737464;
    struct Case {
        const char* what;
        size_t trackIndex; // 0 video, 1 sound
        uint32_t after;
    };
    for (const Case& c :
        { Case { "the only picture goes", 0, standard }, Case { "a sound track goes", 1, none } }) {
        SCOPED_TRACE(c.what);
        browser.reset();
        movie->setUndoManager(nullptr);
        movie = movieWithTracks({ MVFourCC("vide"), MVFourCC("soun") });
        movie->setUndoManager(&undo);
        movie->setControllerType(none);
        open();
        undo.beginUndoGrouping();
        browser->deleteTracks({ movie->tracks()[c.trackIndex] });
        undo.endUndoGrouping();
        EXPECT_EQ(movie->controllerType(), c.after);
        undo.undo();
        EXPECT_EQ(movie->controllerType(), none);
        EXPECT_EQ(movie->tracks().size(), 2u);
    }
}

TEST(PaneContainer, KeepsThePaneWithinItsLimits)
{
    struct Case {
        const char* what;
        HXRect area;
        HXSize min, max;
        HXRect frame;
    };
    const HXSize pane { 200, 100 };
    const Case cases[] = {
        { "larger area: centred, top edge at the top", { { 0, 0 }, { 544, 255 } }, pane, pane,
            { { 172, 155 }, pane } },
        { "smaller area: centred and top-aligned, overhanging", { { 0, 0 }, { 100, 60 } }, pane, pane,
            { { -50, -40 }, pane } },
        { "between the limits: fills", { { 0, 0 }, { 300, 150 } }, pane, { 400, 200 },
            { { 0, 0 }, { 300, 150 } } },
        { "no upper bound: fills", { { 0, 0 }, { 544, 255 } }, pane, { FLT_MAX, FLT_MAX },
            { { 0, 0 }, { 544, 255 } } },
        { "half points round outward", { { 0, 0 }, { 545, 255 } }, pane, pane,
            { { 172, 155 }, { 201, 100 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MVPFrameForContent(c.area, c.min, c.max), c.frame);
    }

    auto container = std::make_shared<MVPSizeConstrainedContentView>(HXRect { { 0, 0 }, { 544, 255 } });
    container->setMinSize(pane);
    container->setMaxSize(pane);
    auto view = std::make_shared<HXView>(HXRect { {}, pane });
    container->setContentView(view);
    EXPECT_EQ(view->frame(), (HXRect { { 172, 155 }, pane }));
    container->setFrame({ { 0, 0 }, { 300, 300 } });
    EXPECT_EQ(view->frame(), (HXRect { { 50, 200 }, pane })) << "laid out again when the container resizes";
    container->setContentView(nullptr);
    EXPECT_FALSE(view->superview());
}

} // namespace
