// The properties window's table: its columns and what the user defaults keep of them, sorting, the row
// keys, which actions are allowed, and extracting tracks.
#include "property_test_support.h"

#include "document/movie_document.h"
#include "inspectors/property_browser_table_view.h"
#include "inspectors/property_columns.h"
#include "inspectors/property_inspector_browser.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/undo_manager.h"
#include "platform/basekit/url.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/user_data.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

using namespace movara::test::inspectors;

namespace {

std::vector<std::string> identifiers(const std::vector<std::shared_ptr<HXTableColumn>>& columns)
{
    std::vector<std::string> out;
    for (const auto& c : columns)
        out.push_back(c->identifier());
    return out;
}

class PropertyWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install(
            { HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }) });
        app = HXApplication::sharedApplication();
        HXUserDefaults::standardUserDefaults().removeObjectForKey(MVPPropertyBrowserDefaultsKey);
        alpha = std::make_unique<LoggingPaneClass>("MVPAlphaPane", "A", log);
        beta = std::make_unique<LoggingPaneClass>(
            "MVPBetaPane", "B", log, [](const MVPInspectedObject& o) { return o.isTrack(); });
        MVPPropertyInspectorBrowser::setInspectorClasses({ alpha.get(), beta.get() });
        movie = movieWithTracks({ MVFourCC("vide"), MVFourCC("soun") });
        movie->setUndoManager(&undo);
        undo.setGroupsByEvent(false);
    }

    void TearDown() override
    {
        browser.reset();
        movie->setUndoManager(nullptr);
        HXUserDefaults::standardUserDefaults().removeObjectForKey(MVPPropertyBrowserDefaultsKey);
        MVPPropertyInspectorBrowser::setInspectorClasses({});
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    std::shared_ptr<MVPPropertyInspectorBrowser> open(const std::shared_ptr<MVMovie>& m)
    {
        auto b = MVPPropertyInspectorBrowser::browserForMovie(m);
        b->showWindow();
        return b;
    }

    std::shared_ptr<HXMenuItem> columnItem(MVPPropertyInspectorBrowser& b, const std::string& identifier)
    {
        auto menu = b.menuForTableColumns();
        for (const auto& item : menu->itemArray()) {
            auto column = std::any_cast<std::shared_ptr<HXTableColumn>>(&item->representedObject());
            if (column && (*column)->identifier() == identifier)
                return item;
        }
        return nullptr;
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    HXUndoManager undo;
    PaneLog log;
    std::unique_ptr<LoggingPaneClass> alpha, beta;
    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<MVPPropertyInspectorBrowser> browser;
};

TEST_F(PropertyWindowTest, ColumnsComeFromTheBundlesListWithTheDefaultOnesShown)
{
    browser = open(movie);
    auto specs = MVPPropertyColumnsFromList(
        *HXPropertyList::readFromFile(HXBundle::mainBundle()->pathForResource("Columns", "plist")));
    ASSERT_FALSE(specs.empty());
    EXPECT_EQ(browser->columns().size(), specs.size());
    EXPECT_EQ(identifiers(browser->tableView()->tableColumns()),
        (std::vector<std::string> { "Name", "Enabled", "Type", "Start", "Duration", "DataSize" }));
    EXPECT_EQ(browser->window()->title(),
        HXString::format(HXLocalizedStringFromTable("browserTitle", "PropertyBrowser"),
            std::vector<std::string> { HXLocalizedStringFromTable("untitledMovie", "PropertyBrowser") }));
}

TEST_F(PropertyWindowTest, ColumnSpecsReadEveryDisplayKeyWithItsDefault)
{
    auto list = *HXPropertyList::fromXML(R"(<plist version="1.0"><array>
        <dict><key>Identifier</key><string>A</string><key>Key</key><string>k</string>
          <key>Sort Key</key><string>s</string>
          <key>Display Info</key><dict><key>Alignment</key><string>Right</string><key>Type</key><string>CheckBox</string>
          <key>Format</key><string>#,##0.00</string><key>Width</key><integer>40</integer><key>Editable</key><true/></dict></dict>
        <dict><key>Identifier</key><string>B</string><key>Key</key><string>k2</string>
          <key>Display Info</key><dict><key>Alignment</key><string>Justified</string><key>Type</key><string>Slider</string></dict></dict>
        <dict><key>Key</key><string>no identifier</string></dict>
        <string>not a column</string>
        </array></plist>)");
    auto specs = MVPPropertyColumnsFromList(list);
    ASSERT_EQ(specs.size(), 2u);
    EXPECT_EQ(specs[0].sortKey, "s");
    EXPECT_EQ(specs[0].alignment, HXRightTextAlignment);
    EXPECT_EQ(specs[0].type, MVPPropertyColumn::Type::CheckBox);
    EXPECT_EQ(MVPFractionDigitsOfFormat(specs[0].format), 2);
    EXPECT_EQ(specs[0].width, 40);
    EXPECT_TRUE(specs[0].editable);
    EXPECT_EQ(specs[1].sortKey, "k2") << "the sort key defaults to the key";
    EXPECT_EQ(specs[1].alignment, HXNaturalTextAlignment);
    EXPECT_EQ(specs[1].type, MVPPropertyColumn::Type::Default);
    EXPECT_FALSE(specs[1].editable);

    // Width: the larger of the title's width + 10 and the list's; the smaller is the minimum.
    auto narrow = MVPMakeTableColumn(specs[0], "A rather long column title");
    EXPECT_GT(narrow->width(), 40);
    EXPECT_EQ(narrow->minWidth(), 40);
    specs[0].width = 400;
    auto wide = MVPMakeTableColumn(specs[0], "A rather long column title");
    EXPECT_EQ(wide->width(), 400);
    EXPECT_LT(wide->minWidth(), 400);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPPropertyBrowserCheckBoxCell>(wide->dataCell()));
}

TEST_F(PropertyWindowTest, ACheckBoxShowsNothingForARowWithoutAValue)
{
    MVPPropertyBrowserCheckBoxCell cell;
    cell.setObjectValue(HXPropertyList(true));
    EXPECT_TRUE(cell.isEnabled());
    EXPECT_FALSE(cell.isTransparent());
    EXPECT_EQ(cell.state(), HXOnState);
    cell.setObjectValue(HXPropertyList());
    EXPECT_FALSE(cell.isEnabled());
    EXPECT_TRUE(cell.isTransparent());
}

TEST_F(PropertyWindowTest, TheUsersColumnsSortAndLastPaneSurviveTheWindow)
{
    browser = open(movie);
    auto table = browser->tableView();
    browser->toggleTableColumn(*columnItem(*browser, "Type"));
    table->moveColumn(table->columnWithIdentifier("Start"), 0);
    table->tableColumnWithIdentifier("Name")->setWidth(222);
    browser->setSortDescriptors({ { "durationInSeconds", false } });
    table->selectRow(1);
    browser->tabView()->selectTabViewItemAtIndex(1);
    ASSERT_EQ(browser->lastFactory(), beta.get());
    browser->window()->performClose();

    auto stored = HXPropertyList(
        HXUserDefaults::standardUserDefaults().dictionaryForKey(MVPPropertyBrowserDefaultsKey));
    EXPECT_EQ(stored["Last Factory"].stringValue(), "MVPBetaPane");
    EXPECT_EQ(stored["Ordered Columns"][0].stringValue(), "Start");
    EXPECT_EQ(stored["Ordered Columns"].count(), browser->columns().size())
        << "hidden columns keep their place";
    EXPECT_EQ(stored["Visible Columns"].count(), 5u);
    EXPECT_DOUBLE_EQ(stored["Column Widths"]["Name"].realValue(), 222);
    EXPECT_EQ(stored["Sort Descriptors"][0]["key"].stringValue(), "durationInSeconds");
    EXPECT_TRUE(stored["Frame"].isString());

    auto other = movieWithTracks({ MVFourCC("soun") });
    auto second = open(other);
    EXPECT_EQ(identifiers(second->tableView()->tableColumns()),
        (std::vector<std::string> { "Start", "Name", "Enabled", "Duration", "DataSize" }));
    EXPECT_EQ(identifiers(second->columns()), identifiers(browser->columns()))
        << "the full order, hidden ones too";
    EXPECT_DOUBLE_EQ(second->tableView()->tableColumnWithIdentifier("Name")->width(), 222);
    EXPECT_EQ(second->sortDescriptors(), (std::vector<MVPSortDescriptor> { { "durationInSeconds", false } }));
    EXPECT_EQ(second->lastFactory(), beta.get());
    second->tableView()->selectRow(1);
    ASSERT_TRUE(second->tabView()->selectedTabViewItem());
    EXPECT_EQ(second->tabView()->selectedTabViewItem()->label(), "B") << "the last pane opens again";
}

TEST_F(PropertyWindowTest, ASavedFrameSmallerThanTheWindowIsEnlargedInPlace)
{
    HXUserDefaults::standardUserDefaults().setObject(
        HXPropertyList::Dictionary { { "Frame", std::string("{{10, 20}, {100, 50}}") } },
        MVPPropertyBrowserDefaultsKey);
    browser = open(movie);
    HXRect frame = browser->window()->frame();
    EXPECT_EQ(frame.origin, (HXPoint { 10, 20 }));
    EXPECT_GT(frame.size.width, 500);
    EXPECT_GT(frame.size.height, 300);
}

TEST_F(PropertyWindowTest, TheLastShownColumnStaysAndAHiddenOneComesBackInItsPlace)
{
    browser = open(movie);
    auto table = browser->tableView();
    auto type = columnItem(*browser, "Type");
    browser->toggleTableColumn(*type);
    EXPECT_EQ(table->columnWithIdentifier("Type"), -1);
    EXPECT_TRUE(browser->validateMenuItem(*type));
    EXPECT_EQ(type->state(), 0);
    browser->toggleTableColumn(*type);
    EXPECT_EQ(table->columnWithIdentifier("Type"), 2) << "back between Enabled and Start";
    EXPECT_EQ(type->state(), 0);
    browser->validateMenuItem(*type);
    EXPECT_EQ(type->state(), 1);

    for (const std::string& id : identifiers(table->tableColumns()))
        if (id != "Name")
            browser->toggleTableColumn(*columnItem(*browser, id));
    ASSERT_EQ(table->numberOfColumns(), 1);
    auto name = columnItem(*browser, "Name");
    EXPECT_FALSE(browser->validateMenuItem(*name)) << "the last shown column cannot be hidden";
    browser->toggleTableColumn(*name);
    EXPECT_EQ(table->numberOfColumns(), 1);
}

TEST_F(PropertyWindowTest, HeaderClicksSortTheRowsAndTheMovieRowMoves)
{
    movie = MVMovie::movie();
    movie->setUndoManager(&undo);
    movie->newTrack(MVFourCC("vide"), 600, 320, 240)->setEdits({ { 600, 0, 0x10000 } });
    movie->newTrack(MVFourCC("soun"), 600)->setEdits({ { 1200, 0, 0x10000 } });
    browser = open(movie);
    auto table = browser->tableView();
    table->selectRow(2);
    auto sound = MVPInspectedObject(movie->tracks()[1]);
    auto duration = table->tableColumnWithIdentifier("Duration");
    browser->didClickTableColumn(*table, duration.get());
    EXPECT_EQ(browser->objects(),
        (std::vector<MVPInspectedObject> { movie->tracks()[0], movie, movie->tracks()[1] }));
    browser->didClickTableColumn(*table, duration.get());
    EXPECT_EQ(browser->objects(),
        (std::vector<MVPInspectedObject> { movie, movie->tracks()[1], movie->tracks()[0] }));
    EXPECT_EQ(table->selectedRowIndexes(), (HXIndexSet { 1 })) << "the sound track stays selected";
    EXPECT_EQ(browser->inspectedObjects().front(), sound);
}

TEST_F(PropertyWindowTest, TableKeysMoveAndExtendTheSelection)
{
    struct Case {
        const char* command;
        HXIndexSet before, after;
    };
    const Case cases[] = {
        { "moveUp:", { 1 }, { 0 } },
        { "moveUp:", { 0 }, { 0 } },
        { "moveDown:", { 1 }, { 2 } },
        { "moveDown:", { 2 }, { 2 } },
        { "moveUpAndModifySelection:", { 1 }, { 0, 1 } },
        { "moveDownAndModifySelection:", { 1 }, { 1, 2 } },
        { "moveToBeginningOfDocument:", { 2 }, { 0 } },
        { "moveToBeginningOfDocumentAndModifySelection:", { 2 }, { 0, 1, 2 } },
        { "moveToEndOfDocument:", { 0 }, { 2 } },
        { "moveToEndOfDocumentAndModifySelection:", { 1 }, { 1, 2 } },
        { "centerSelectionInVisibleArea:", { 1 }, { 1 } },
    };
    browser = open(movie);
    auto table = browser->tableView();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " from row " + std::to_string(*c.before.begin()));
        table->selectRowIndexes(c.before, false);
        table->doCommandBySelector(c.command);
        EXPECT_EQ(table->selectedRowIndexes(), c.after);
    }
    table->selectRow(2);
    table->doCommandBySelector("deleteBackward:");
    EXPECT_EQ(movie->tracks().size(), 1u) << "the delete keys delete the selected tracks";
}

TEST_F(PropertyWindowTest, DeleteAndExtractNeedATrackOfAnEditableMovie)
{
    struct Case {
        const char* what;
        HXIndexSet rows;
        bool editable;
        bool allowed;
    };
    const Case cases[] = {
        { "the movie alone", { 0 }, true, false },
        { "a track", { 1 }, true, true },
        { "the movie and a track", { 0, 2 }, true, true },
        { "a track of a movie that cannot be edited", { 1 }, false, false },
    };
    browser = open(movie);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        movie->setEditable(c.editable);
        browser->tableView()->selectRowIndexes(c.rows, false);
        for (const char* action : { "deleteSelectedTracks:", "extractSelectedTracks:", "delete:" })
            EXPECT_EQ(browser->validateUserInterfaceItem(HXMenuItem("", action, "")), c.allowed) << action;
        EXPECT_EQ(browser->deleteButton()->isEnabled(), c.allowed);
    }
    movie->setEditable(false);
    browser->tableView()->selectRow(1);
    browser->deleteSelectedTracks();
    EXPECT_EQ(movie->tracks().size(), 2u) << "a key press cannot get round the rule";
}

TEST_F(PropertyWindowTest, ExtractingTracksOpensANewMovieWithOnlyThem)
{
    HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
    MVUserDataSetText(movie->userData(), 0xA96E616D, "Holiday");
    browser = open(movie);
    struct Case {
        const char* what;
        HXIndexSet rows;
        bool keepsMetadata;
    };
    for (const Case& c :
        { Case { "a track alone", { 2 }, false }, Case { "with the movie row", { 0, 2 }, true } }) {
        SCOPED_TRACE(c.what);
        auto controller = HXDocumentController::sharedDocumentController();
        size_t before = controller->documents().size();
        browser->tableView()->selectRowIndexes(c.rows, false);
        browser->extractSelectedTracks();
        ASSERT_EQ(controller->documents().size(), before + 1);
        auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(controller->documents().back());
        ASSERT_TRUE(doc && doc->movie());
        ASSERT_EQ(doc->movie()->tracks().size(), 1u);
        EXPECT_EQ(doc->movie()->tracks()[0]->trackID(), movie->tracks()[1]->trackID());
        EXPECT_EQ(MVUserDataGetText(doc->movie()->userData(), 0xA96E616D).has_value(), c.keepsMetadata);
        EXPECT_TRUE(doc->isDocumentEdited()) << "a new, unsaved movie";
        EXPECT_EQ(movie->tracks().size(), 2u) << "the original keeps its tracks";
        doc->close();
    }
}

TEST_F(PropertyWindowTest, ClickingADecodedBoxSwitchesTheTrackWithUndo)
{
    browser = open(movie);
    auto table = browser->tableView();
    long column = table->columnWithIdentifier("Enabled");
    ASSERT_GE(column, 0);
    auto click = [&](long row) {
        HXRect cell = table->frameOfCellAtColumn(column, row);
        HXPoint centre { cell.origin.x + cell.size.width / 2, cell.origin.y + cell.size.height / 2 };
        HXPoint inWindow = table->convertPointToView(centre, nullptr);
        undo.beginUndoGrouping();
        HXHeadlessWindowServer::postClick(browser->window(), inWindow);
        app->processPendingEvents();
        undo.endUndoGrouping();
    };
    click(1);
    EXPECT_FALSE(movie->tracks()[0]->isEnabled());
    EXPECT_TRUE(movie->tracks()[1]->isEnabled());
    undo.undo();
    EXPECT_TRUE(movie->tracks()[0]->isEnabled());
    click(0);
    EXPECT_FALSE(undo.canUndo()) << "the movie row has no box: nothing changed";
    EXPECT_TRUE(movie->tracks()[0]->isEnabled());
    EXPECT_TRUE(movie->tracks()[1]->isEnabled());
}

TEST_F(PropertyWindowTest, AMovieThatCannotBeSavedYetShowsItsPaneDisabled)
{
    // Still loading from a loopback port nobody listens on: not playable, so not savable.
    auto loading = MVMovie::movieWithURL(*HXURL::URLWithString("http://127.0.0.1:9/none.mov"), nullptr);
    ASSERT_TRUE(loading);
    ASSERT_LT(loading->loadState(), MVMovieLoadStatePlayable);
    browser = open(loading);
    auto pane = alpha->last.lock();
    ASSERT_TRUE(pane) << "the pane still opens";
    EXPECT_FALSE(pane->button()->isEnabled()) << "but its controls are disabled";
    auto name = browser->tableView()->tableColumnWithIdentifier("Name");
    EXPECT_FALSE(browser->shouldEditTableColumn(*browser->tableView(), name.get(), 0));
    browser.reset();
}

TEST_F(PropertyWindowTest, WhileKeyTheWindowLendsItsColumnMenuToTheMainMenu)
{
    auto main = std::make_shared<HXMenu>("Main");
    for (const char* title : { "App", "File", "Edit", "View", "Window" }) {
        auto item = std::make_shared<HXMenuItem>(title, HXSelector(), "");
        item->setSubmenu(std::make_shared<HXMenu>(title));
        item->submenu()->addItem(std::make_shared<HXMenuItem>("Existing", "noop:", ""));
        main->addItem(item);
    }
    app->setMainMenu(main);
    auto view = main->itemAtIndex(3)->submenu();
    browser = open(movie);
    ASSERT_TRUE(browser->window()->isKeyWindow());
    ASSERT_EQ(view->numberOfItems(), 3);
    EXPECT_TRUE(view->itemAtIndex(1)->isSeparatorItem());
    auto columns = view->itemAtIndex(2);
    EXPECT_EQ(columns->tag(), MVPColumnMenuItemTag);
    ASSERT_TRUE(columns->submenu());
    EXPECT_EQ(size_t(columns->submenu()->numberOfItems()), browser->columns().size());

    browser->window()->resignKeyWindow();
    EXPECT_EQ(view->numberOfItems(), 1) << "taken away when the window stops being key";
    EXPECT_TRUE(HXUserDefaults::standardUserDefaults()
                    .dictionaryForKey(MVPPropertyBrowserDefaultsKey)
                    .count("Ordered Columns"))
        << "and the settings are kept";
}

} // namespace
