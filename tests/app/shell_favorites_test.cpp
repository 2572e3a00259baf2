// The favorites list, its menu and its panel, headless.
#include "shell_fixtures.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/control.h"
#include "platform/winkit/dragging.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

namespace {

using namespace movara::apptest;
using movara::test::TempDir;
using movara::test::writeFile;

// A drag as the destination sees it.
class FakeDrag : public HXDraggingInfo {
public:
    FakeDrag(std::shared_ptr<HXPasteboard> pasteboard, HXDraggingSource* source, unsigned mask)
        : _pasteboard(std::move(pasteboard))
        , _source(source)
        , _mask(mask)
    {
    }
    std::shared_ptr<HXPasteboard> draggingPasteboard() const override { return _pasteboard; }
    HXPoint draggingLocation() const override { return {}; }
    std::shared_ptr<HXWindow> draggingDestinationWindow() const override { return nullptr; }
    HXDraggingSource* draggingSource() const override { return _source; }
    unsigned draggingSourceOperationMask() const override { return _mask; }
    int draggingSequenceNumber() const override { return 1; }
    std::shared_ptr<HXImage> draggedImage() const override { return nullptr; }

private:
    std::shared_ptr<HXPasteboard> _pasteboard;
    HXDraggingSource* _source;
    unsigned _mask;
};

MVPFavoritesController::Entry favorite(const std::string& name)
{
    return MVPFavoritesController::entryForMovie(
        name, MVDataReference::dataReferenceWithReferenceToFile("/m/" + name));
}

class FavoritesTest : public ShellTest {
protected:
    MVPFavoritesController& favorites() { return MVPFavoritesController::favoritesController(); }

    void setList(const std::string& names)
    {
        MVPFavoritesController::List list;
        for (char c : names)
            list.push_back(HXPropertyList(favorite(std::string(1, c))));
        favorites().setFavoriteDocuments(list);
        favorites().writeFavorites();
        favorites().reloadFavorites();
    }

    std::string listNames()
    {
        std::string names;
        for (auto& e : favorites().favoriteDocuments())
            names += e["name"].stringValue();
        return names;
    }

    std::string storedNames()
    {
        std::string names;
        for (auto& e : HXUserDefaults::standardUserDefaults().arrayForKey(MVPFavoriteDocumentsUserDefault))
            names += e["name"].stringValue();
        return names;
    }

    // Drags the entries named from the list itself and drops them before `index`.
    void moveWithinList(const std::string& dragged, long index)
    {
        auto outline = favorites().favoritesOutlineView();
        std::vector<HXOutlineItem> items;
        for (char c : dragged)
            items.push_back(outline->itemAtRow(long(listNames().find(c))));
        auto pasteboard = HXPasteboard::pasteboardWithUniqueName();
        ASSERT_TRUE(favorites().writeItems(*outline, items, *pasteboard));
        FakeDrag drag(pasteboard, outline.get(), HXDragOperationLink);
        ASSERT_TRUE(favorites().acceptDrop(*outline, drag, nullptr, index));
    }
};

TEST_F(FavoritesTest, AddingKeepsOneCopyAtTheEndAndAnnouncesEachWrite)
{
    int announced = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVPFavoritesDidChange, nullptr, [&](const HXNotification&) { ++announced; });
    for (const char* name : { "A", "B", "A" })
        favorites().noteNewFavoriteDocumentWithAttributes(favorite(name));
    auto incomplete = favorite("C");
    incomplete.erase(MVPFavoriteDocumentDataRefTypeAttribute);
    favorites().noteNewFavoriteDocumentWithAttributes(incomplete);
    favorites().insertNewFavoriteDocumentWithAttributes(incomplete, 0);
    HXNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(listNames(), "BA");
    EXPECT_EQ(storedNames(), "BA");
    EXPECT_EQ(announced, 3);
    auto stored = HXUserDefaults::standardUserDefaults().arrayForKey(MVPFavoriteDocumentsUserDefault);
    EXPECT_EQ(stored.at(0).dictionaryValue().size(), 3u);
    EXPECT_EQ(stored.at(0)["dataRefType"].stringValue(), "alis");
}

TEST_F(FavoritesTest, InsertingLandsWhereItIsPut)
{
    struct Case {
        const char* entry;
        long index;
        const char* expected;
    };
    const Case cases[] = {
        { "E", 1, "AEBCD" },
        { "E", -1, "ABCDE" },
        { "E", 99, "ABCDE" },
        { "B", 0, "BACD" }, // already listed, upwards
        { "A", 3, "BCAD" }, // already listed, downwards: before what was at 3
        { "A", 4, "BCDA" },
        { "C", 2, "ABCD" }, // onto its own place
        { "C", 3, "ABCD" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " at " + std::to_string(c.index));
        setList("ABCD");
        favorites().insertNewFavoriteDocumentWithAttributes(favorite(c.entry), c.index);
        EXPECT_EQ(listNames(), c.expected);
    }
}

TEST_F(FavoritesTest, MovingRowsByDragKeepsThemTogetherWhereDropped)
{
    struct Case {
        const char* dragged;
        long index;
        const char* expected;
        HXIndexSet selected;
    };
    const Case cases[] = {
        { "AB", 3, "CABD", { 1, 2 } },
        { "AB", 4, "CDAB", { 2, 3 } },
        { "D", 1, "ADBC", { 1 } },
        { "DB", 0, "DBAC", { 0, 1 } }, // in drag order
        { "BD", 4, "ACBD", { 2, 3 } },
        { "C", 2, "ABCD", { 2 } },
    };
    favorites().loadPanel();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.dragged) + " to " + std::to_string(c.index));
        setList("ABCD");
        moveWithinList(c.dragged, c.index);
        EXPECT_EQ(listNames(), c.expected);
        EXPECT_EQ(storedNames(), c.expected);
        EXPECT_EQ(favorites().favoritesOutlineView()->selectedRowIndexes(), c.selected);
        EXPECT_TRUE(favorites().draggedNodes().empty());
    }
}

TEST_F(FavoritesTest, DropsGoBetweenRowsOrIntoAnEmptyList)
{
    favorites().loadPanel();
    auto outline = favorites().favoritesOutlineView();
    auto pasteboard = HXPasteboard::pasteboardWithUniqueName();
    FakeDrag drag(pasteboard, nullptr, HXDragOperationEvery);
    struct Case {
        const char* list;
        long childIndex;
        unsigned expected;
    };
    const Case cases[] = {
        { "", HXOutlineViewDropOnItemIndex, HXDragOperationGeneric },
        { "", 0, HXDragOperationGeneric },
        { "AB", 1, HXDragOperationGeneric },
        { "AB", HXOutlineViewDropOnItemIndex, HXDragOperationNone },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " " + std::to_string(c.childIndex));
        setList(c.list);
        EXPECT_EQ(favorites().validateDrop(*outline, drag, nullptr, c.childIndex), c.expected);
    }
}

TEST_F(FavoritesTest, DroppedMovieFilesBecomeFavoritesInTheirOrder)
{
    TempDir dir;
    writeFile(dir.path() / "notes.txt", "not a movie");
    std::filesystem::create_symlink(movie("b.mov"), dir.path() / "link.mov");
    setList("XY");
    favorites().loadPanel();
    auto outline = favorites().favoritesOutlineView();
    auto pasteboard = HXPasteboard::pasteboardWithUniqueName();
    pasteboard->setFileNames(
        { movie("a.mov"), (dir.path() / "notes.txt").string(), (dir.path() / "link.mov").string() });

    FakeDrag copyOnly(pasteboard, nullptr, HXDragOperationCopy);
    EXPECT_EQ(favorites().draggingEntered(copyOnly), HXDragOperationCopy);
    favorites().acceptDrop(*outline, copyOnly, nullptr, 1);
    EXPECT_EQ(listNames(), "XY") << "files are taken only as links";

    FakeDrag drag(pasteboard, nullptr, HXDragOperationLink | HXDragOperationCopy);
    EXPECT_EQ(favorites().draggingEntered(drag), HXDragOperationLink);
    favorites().acceptDrop(*outline, drag, nullptr, 1);
    ASSERT_EQ(favorites().favoriteDocuments().size(), 4u);
    EXPECT_EQ(favorites().favoriteDocuments()[1]["name"].stringValue(), "a.mov");
    // The link is followed to the movie it names.
    EXPECT_EQ(MVPFavoritesController::locationOfEntry(favorites().favoriteDocuments()[2].dictionaryValue()),
        movie("b.mov"));
    EXPECT_EQ(favorites().favoriteDocuments()[3]["name"].stringValue(), "Y");

    // An already listed movie dropped elsewhere moves there.
    pasteboard->setFileNames({ movie("a.mov") });
    favorites().acceptDrop(*outline, drag, nullptr, 4);
    EXPECT_EQ(favorites().favoriteDocuments()[3]["name"].stringValue(), "a.mov");
    EXPECT_EQ(favorites().favoriteDocuments().size(), 4u);
}

TEST_F(FavoritesTest, EntriesLeaveAsFilesAndEveryLocation)
{
    auto url = [](const char* text) {
        return MVPFavoritesController::entryForMovie(
            "u", MVDataReference::dataReferenceWithReferenceToURL(*HXURL::URLWithString(text)));
    };
    auto pasteboard = HXPasteboard::pasteboardWithUniqueName();
    favorites().writeEntries(
        { favorite("a.mov"), url("http://h.example/1.mov"), url("rtsp://h.example/live") }, *pasteboard);
    EXPECT_EQ(pasteboard->fileNames(), (std::vector<std::string> { "/m/a.mov" }));
    EXPECT_EQ(pasteboard->stringForType(HXStringPboardType).value_or(""),
        "http://h.example/1.mov\nrtsp://h.example/live");
    EXPECT_EQ(
        MVPFavoritesController::locationOfEntry(url("http://h.example/1.mov")), "http://h.example/1.mov");
    auto broken = favorite("gone");
    broken[MVPFavoriteDocumentDataRefAttribute] = HXPropertyList(HXData(std::string("??")));
    EXPECT_EQ(MVPFavoritesController::locationOfEntry(broken), "gone");
}

TEST_F(FavoritesTest, DeletingAsksFirstAndNamesASingleEntry)
{
    favorites().loadPanel();
    auto outline = favorites().favoritesOutlineView();
    struct Case {
        const char* name;
        HXIndexSet rows;
        int button; // 0 OK, 1 Cancel
        const char* left;
        bool quoted;
    };
    const Case cases[] = {
        { "three rows, OK", { 0, 1, 3 }, 0, "C", false },
        { "one row, OK", { 1 }, 0, "ACD", true },
        { "one row, Cancel", { 1 }, 1, "ABCD", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setList("ABCD");
        std::string message;
        HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
            message = alert.messageText();
            HXRunLoop::main().perform([&alert, &c] { alert.buttons().at(size_t(c.button))->performClick(); });
        });
        auto answer = favorites().mvOutlineViewDeleteObjectsAtRows(*outline, c.rows, true);
        HXAlert::setAlertDidAppearHandler(nullptr);
        EXPECT_EQ(answer, std::optional<bool>(c.button == 0));
        EXPECT_EQ(listNames(), c.left);
        EXPECT_EQ(message.find("\"B\"") != std::string::npos, c.quoted) << message;
    }
    setList("ABCD");
    EXPECT_EQ(favorites().mvOutlineViewDeleteObjectsAtRows(*outline, { 0 }), std::optional<bool>(true));
    EXPECT_EQ(storedNames(), "BCD");
}

TEST_F(FavoritesTest, AFavoriteThatCannotOpenShowsAnAlertAndStays)
{
    setList("AB");
    std::string message;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        message = alert.messageText();
        HXRunLoop::main().perform([&alert] { alert.buttons().at(0)->performClick(); });
    });
    auto entry = favorites().favoriteDocuments()[0].dictionaryValue();
    favorites().openFavoriteDocument(&entry);
    favorites().openFavoriteDocument(nullptr);
    HXAlert::setAlertDidAppearHandler(nullptr);
    EXPECT_EQ(message, HXLocalizedStringFromTable("fileNotFound", "Localizable"));
    EXPECT_TRUE(documents().empty());
    EXPECT_EQ(listNames(), "AB");
}

TEST_F(FavoritesTest, TheFavoritesMenuFollowsTheList)
{
    delegate->applicationWillFinishLaunching(HXApp());
    auto menu = fileSubmenu(MVPMainMenu::kFavoritesTitle);
    setList("AB");
    EXPECT_EQ(titlesOf(*menu),
        (std::vector<std::string> { "Add to Favorites", "Show Favorites", "---", "A", "B" }));
    favorites().noteNewFavoriteDocumentWithAttributes(favorite("C"));
    EXPECT_EQ(titlesOf(*menu),
        (std::vector<std::string> { "Add to Favorites", "Show Favorites", "---", "A", "B", "C" }));
    setList("");
    EXPECT_EQ(titlesOf(*menu), (std::vector<std::string> { "Add to Favorites", "Show Favorites", "---" }));
    // Add to Favorites takes the front movie.
    openPlayer("a.mov");
    menu->update();
    ASSERT_TRUE(menu->itemAtIndex(0)->isEnabled());
    menu->performActionForItemAtIndex(0);
    EXPECT_EQ(menu->itemAtIndex(3)->title(), "a.mov");
    EXPECT_EQ(listNames(), "a.mov");
}

TEST_F(FavoritesTest, ChoosingAFavoriteOpensIt)
{
    favorites().noteNewFavoriteDocumentWithAttributes(MVPFavoritesController::entryForMovie(
        "a", MVDataReference::dataReferenceWithReferenceToFile(movie("a.mov"))));
    controller->rebuildFavoriteDocumentsMenu();
    auto menu = fileSubmenu(MVPMainMenu::kFavoritesTitle);
    menu->performActionForItemAtIndex(3);
    ASSERT_EQ(documents().size(), 1u);
    EXPECT_EQ(fileOf(documents()[0]), "a.mov");
}

TEST_F(FavoritesTest, EditAndViewMenusRestWhileThePanelIsKey)
{
    favorites().showPanel();
    auto mainMenu = HXApp().mainMenu();
    auto edit = mainMenu->itemWithTitle("Edit");
    auto view = mainMenu->itemWithTitle("View");
    ASSERT_TRUE(favorites().isKey());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(view->isEnabled());
    auto other = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 100, 100 } }, HXTitledWindowMask);
    other->makeKeyAndOrderFront();
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_TRUE(view->isEnabled());
}

TEST_F(FavoritesTest, ThePanelFrameIsSavedAtQuitAndUsedNextTime)
{
    favorites().showPanel();
    HXRect frame { { 120, 140 }, { 500, 300 } };
    favorites().favoritesPanel()->setFrame(frame, false);
    delegate->applicationWillTerminate(HXApp());
    auto& defaults = HXUserDefaults::standardUserDefaults();
    EXPECT_EQ(HXRectFromString(defaults.stringForKey(MVPFavoritesWindowLocation)), frame);
    EXPECT_EQ(defaults.floatForKey(kFavoritesPanelHeight), 300.0f);
    MVPFavoritesController::resetFavoritesController();
    favorites().showPanel();
    EXPECT_EQ(favorites().favoritesPanel()->frame(), frame);
}

TEST_F(FavoritesTest, ReturnOpensAndDeleteAsksThroughTheList)
{
    favorites().noteNewFavoriteDocumentWithAttributes(MVPFavoritesController::entryForMovie(
        "a", MVDataReference::dataReferenceWithReferenceToFile(movie("a.mov"))));
    favorites().showPanel();
    auto outline = favorites().favoritesOutlineView();
    favorites().favoritesPanel()->makeFirstResponder(outline);
    outline->selectRow(0);
    outline->keyDown(HXEvent::keyEvent(HXKeyDown, {}, 0, 0, favorites().favoritesPanel()->windowNumber(),
        "\r", "\r", false, HXKeyCodeReturn));
    ASSERT_EQ(documents().size(), 1u);
    int asked = 0;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        ++asked;
        HXRunLoop::main().perform([&alert] { alert.buttons().at(0)->performClick(); });
    });
    outline->keyDown(HXEvent::keyEvent(HXKeyDown, {}, 0, 0, favorites().favoritesPanel()->windowNumber(),
        "\x7f", "\x7f", false, HXKeyCodeDelete));
    HXAlert::setAlertDidAppearHandler(nullptr);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(favorites().favoriteDocuments().empty());
}

} // namespace
