// (Named to sort after preferences_test.cpp: that test wants to be the first to make the shared preferences.)
#include "shell_fixtures.h"

#include "document/composition_document.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

namespace {

using namespace movara::apptest;
using movara::test::runCommand;
using movara::test::TempDir;

// ---- The list's rules ----

TEST(RecentItemsEntryTest, EntriesKeepTheReferenceAndALongerName)
{
    struct Case {
        const char* name;
        MVDataReference reference;
        const char* altname;
        const char* type;
    };
    const Case cases[] = {
        { "file", MVDataReference::dataReferenceWithReferenceToFile("/home/u/Movies/A/clip.mov"),
            "clip.mov - .../A/clip.mov", "alis" },
        { "url",
            MVDataReference::dataReferenceWithReferenceToURL(
                *HXURL::URLWithString("http://h.example/x/live.mov")),
            "live.mov - http://h.example/x/live.mov", "url " },
        { "memory", MVDataReference::dataReferenceWithReferenceToData(nullptr), "", "hndl" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = c.reference.kind() == MVDataReference::Kind::Memory ? "mem" : c.reference.name();
        auto entry = MVPRecentDocuments::entryForDataReference(name, c.reference);
        EXPECT_EQ(entry.size(), 4u);
        EXPECT_EQ(entry["altname"].stringValue(), c.altname);
        EXPECT_EQ(entry["dataRefType"].stringValue(), c.type);
        EXPECT_TRUE(entry["dataRef"].isData());
        if (c.reference.kind() != MVDataReference::Kind::Memory) {
            auto back = MVPRecentDocuments::dataReferenceOfEntry(entry);
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(*back, c.reference);
        }
    }
}

TEST(RecentItemsEntryTest, EntriesThatLeadNowhereAreRecognised)
{
    auto good = MVPRecentDocuments::entryForDataReference(
        "a.mov", MVDataReference::dataReferenceWithReferenceToFile("/tmp/a.mov"));
    struct Case {
        const char* name;
        MVPRecentDocuments::Entry entry;
    };
    auto without = [&](const char* key) {
        auto e = good;
        e.erase(key);
        return e;
    };
    auto with = [&](const char* key, HXPropertyList value) {
        auto e = good;
        e[key] = std::move(value);
        return e;
    };
    const Case cases[] = {
        { "no bytes", without("dataRef") },
        { "no type", without("dataRefType") },
        { "bytes as text", with("dataRef", HXPropertyList(std::string("/tmp/a.mov"))) },
        { "type too long", with("dataRefType", HXPropertyList(std::string("alias"))) },
        { "garbage alias record", with("dataRef", HXPropertyList(HXData(std::string("\x01\x02", 2)))) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(MVPRecentDocuments::dataReferenceOfEntry(c.entry).has_value());
    }
}

TEST(RecentItemsEntryTest, AddingMovesAnEqualEntryAndCutsToTheLimit)
{
    MVPRecentDocuments::List list;
    for (const char* path : { "/m/1.mov", "/m/2.mov", "/m/3.mov" })
        MVPRecentDocuments::addEntry(list, fileEntry(path), 3);
    auto names = [&] {
        std::string s;
        for (auto& e : list)
            s += e["name"].stringValue().substr(0, 1);
        return s;
    };
    EXPECT_EQ(names(), "321");
    MVPRecentDocuments::addEntry(list, fileEntry("/m/1.mov"), 3);
    EXPECT_EQ(names(), "132") << "an equal entry moves to the top, the list does not grow";
    MVPRecentDocuments::addEntry(list, fileEntry("/m/4.mov"), 3);
    EXPECT_EQ(names(), "413") << "a full list loses exactly its oldest entry";
    MVPRecentDocuments::addEntry(list, fileEntry("/m/5.mov"), 1);
    EXPECT_EQ(names(), "5") << "a list above a lowered limit comes down to it";
    auto missing = fileEntry("/m/6.mov");
    missing.erase("name");
    EXPECT_FALSE(MVPRecentDocuments::addEntry(list, missing, 3));
    EXPECT_EQ(names(), "5");
    EXPECT_EQ(MVPRecentDocuments::clampedLimit(-4), 0u);
}

TEST(RecentItemsEntryTest, SameNamesAreToldApartByTheirFolders)
{
    MVPRecentDocuments::List list;
    for (const char* path : { "/m/A/clip.mov", "/m/B/clip.mov", "/m/other.mov" })
        MVPRecentDocuments::addEntry(list, fileEntry(path), 10);
    std::vector<std::string> titles;
    for (auto& e : list)
        titles.push_back(MVPRecentDocuments::menuTitleOfEntry(list, e.dictionaryValue()));
    EXPECT_EQ(titles,
        (std::vector<std::string> { "other.mov", "clip.mov - .../B/clip.mov", "clip.mov - .../A/clip.mov" }));
}

// ---- The controller: noting, the menu, the limit, clearing ----

class RecentItemsTest : public ShellTest { };

TEST_F(RecentItemsTest, OpenedMoviesAreNotedOnceAndStoredAsDictionaries)
{
    auto a = openPlayer("a.mov");
    openPlayer("b.mov");
    controller->noteNewRecentDocument(a);
    EXPECT_EQ(storedRecentNames(), (std::vector<std::string> { "a.mov", "b.mov" }));
    auto stored = HXUserDefaults::standardUserDefaults().arrayForKey(MVPRecentDocumentsUserDefault);
    ASSERT_EQ(stored.size(), 2u);
    const auto& entry = stored[0].dictionaryValue();
    EXPECT_EQ(entry.size(), 4u);
    EXPECT_EQ(entry.at("dataRefType").stringValue(), "alis");
    EXPECT_EQ(
        entry.at("altname").stringValue(), "a.mov - .../" + moviesFolder().filename().string() + "/a.mov");
    EXPECT_EQ(MVPRecentDocuments::dataReferenceOfEntry(entry)->referenceFilePath(), movie("a.mov"));
}

TEST_F(RecentItemsTest, TheFeaturedMovieAndMoviesMadeInMemoryAreNotNoted)
{
    delegate->openReelspotMovie(false);
    auto untitled = delegate->newDocumentWithTemplate();
    ASSERT_NE(untitled, nullptr);
    for (auto& doc : documents())
        controller->noteNewRecentDocument(doc);
    EXPECT_TRUE(controller->recentDocuments().empty());
}

TEST_F(RecentItemsTest, TheOpenRecentMenuShowsTheListAndClearMenu)
{
    auto menu = fileSubmenu(MVPMainMenu::kOpenRecentTitle);
    for (const char* path : { "/m/A/clip.mov", "/m/B/clip.mov", "/m/other.mov" })
        controller->noteNewRecentDocumentWithAttributes(fileEntry(path));
    menu->update();
    auto clear = HXLocalizedString("mvpClearMenu");
    EXPECT_EQ(titlesOf(*menu),
        (std::vector<std::string> {
            "other.mov", "clip.mov - .../B/clip.mov", "clip.mov - .../A/clip.mov", "---", clear }));
    EXPECT_TRUE(menu->itemAtIndex(4)->isEnabled());
    // From now on every change rebuilds it.
    controller->noteNewRecentDocumentWithAttributes(fileEntry("/m/A/clip.mov"));
    EXPECT_EQ(menu->itemAtIndex(0)->title(), "clip.mov - .../A/clip.mov");
    controller->clearRecentDocuments();
    EXPECT_EQ(titlesOf(*menu), (std::vector<std::string> { clear }));
    menu->update();
    EXPECT_FALSE(menu->itemAtIndex(0)->isEnabled()) << "nothing to clear";
    EXPECT_FALSE(
        HXUserDefaults::standardUserDefaults().objectForKey(MVPRecentDocumentsUserDefault).isArray());
}

TEST_F(RecentItemsTest, ClearMenuIsDisabledWhileAModalWindowIsUp)
{
    controller->noteNewRecentDocumentWithAttributes(fileEntry("/m/a.mov"));
    auto menu = fileSubmenu(MVPMainMenu::kOpenRecentTitle);
    menu->update();
    auto clear = menu->itemAtIndex(menu->numberOfItems() - 1);
    EXPECT_TRUE(clear->isEnabled());
    auto panel = std::make_shared<HXPanel>(HXRect { { 0, 0 }, { 100, 100 } }, HXTitledWindowMask);
    auto session = HXApp().beginModalSessionForWindow(panel);
    menu->update();
    EXPECT_FALSE(clear->isEnabled());
    HXApp().endModalSession(session);
    menu->update();
    EXPECT_TRUE(clear->isEnabled());
}

TEST_F(RecentItemsTest, ALoweredLimitTrimsAtOnce)
{
    struct Case {
        const char* name;
        bool menuOpenedFirst;
        int64_t limit;
        size_t left;
    };
    const Case cases[] = {
        { "10 to 5 after the menu opened", true, 5, 5 },
        { "10 to 5 before any menu opened", false, 5, 5 },
        { "raised: nothing goes", true, 20, 8 },
        { "zero", true, 0, 0 },
        { "negative", false, -3, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setLimit(10);
        controller->clearRecentDocuments();
        for (int i = 0; i < 8; ++i)
            controller->noteNewRecentDocumentWithAttributes(fileEntry("/m/" + std::to_string(i) + ".mov"));
        auto menu = fileSubmenu(MVPMainMenu::kOpenRecentTitle);
        if (c.menuOpenedFirst)
            menu->update();
        setLimit(c.limit);
        EXPECT_EQ(controller->recentDocuments().size(), c.left);
        EXPECT_EQ(storedRecentNames().size(), c.left);
        if (c.left > 0) {
            EXPECT_EQ(controller->recentDocuments()[0]["name"].stringValue(), "7.mov")
                << "the most recent stay";
        }
        menu->update();
        long items = long(c.left) + (c.left ? 2 : 1); // entries, separator, Clear Menu
        EXPECT_EQ(menu->numberOfItems(), items);
        // A later addition keeps to the limit too.
        controller->noteNewRecentDocumentWithAttributes(fileEntry("/m/new.mov"));
        EXPECT_EQ(controller->recentDocuments().size(),
            std::min<size_t>(c.left + 1, MVPRecentDocuments::clampedLimit(c.limit)));
    }
}

TEST_F(RecentItemsTest, ADamagedStoredListKeepsOnlyItsEntries)
{
    HXUserDefaults::standardUserDefaults().setObject(
        HXPropertyList(HXPropertyList::Array { HXPropertyList(std::string("junk")),
            HXPropertyList(fileEntry("/m/a.mov")), HXPropertyList(int64_t(3)) }),
        MVPRecentDocumentsUserDefault);
    auto fresh = std::make_shared<MVPMovieDocumentController>();
    ASSERT_EQ(fresh->recentDocuments().size(), 1u);
    EXPECT_EQ(fresh->recentDocuments()[0]["name"].stringValue(), "a.mov");
}

TEST_F(RecentItemsTest, AnItemThatCannotOpenStillMovesToTheTop)
{
    controller->noteNewRecentDocumentWithAttributes(fileEntry("/no/such/gone.mov"));
    controller->noteNewRecentDocumentWithAttributes(fileEntry("/m/other.mov"));
    auto gone = controller->recentDocuments()[1].dictionaryValue();
    controller->openRecentEntry(gone);
    EXPECT_EQ(openErrors.size(), 1u);
    EXPECT_EQ(openErrors.at(0).code(), MVPMovieErrorCouldNotOpenMovie);
    EXPECT_TRUE(documents().empty());
    EXPECT_EQ(controller->recentDocuments()[0]["name"].stringValue(), "gone.mov");
}

// A composition opened from its file is noted like a movie; from the list it opens as a composition again
// (never into the front player), an open one comes forward, and an unreadable one gets the open alert.
TEST_F(RecentItemsTest, CompositionsAreNotedAndReopenedFromTheList)
{
    TempDir dir;
    auto path = dir.path() / "blue.vcomp";
    movara::test::writeFile(path, R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>size</key><array><integer>64</integer><integer>48</integer></array>
  <key>layers</key><array>
    <dict><key>type</key><string>color</string><key>color</key><array><real>0</real><real>0</real><real>1</real></array></dict>
  </array>
</dict></plist>)");
    setPreference(kGeneralPreferenceOpenMoviesInNewPlayers, false);
    auto player = openPlayer("a.mov");
    delegate->openFiles({ path.string() }, false);
    auto countCompositions = [this] { return controller->documentsOfClass<MVPVitrelCompDocument>().size(); };
    ASSERT_EQ(countCompositions(), 1u);
    ASSERT_FALSE(controller->recentDocuments().empty());
    auto entry = controller->recentDocuments()[0].dictionaryValue();
    EXPECT_EQ(entry.at("name").stringValue(), "blue.vcomp");
    EXPECT_EQ(entry.at("dataRefType").stringValue(), "alis");

    // Open: it comes forward, nothing new opens.
    controller->openRecentEntry(entry);
    EXPECT_EQ(countCompositions(), 1u);
    // Closed: the entry opens it again, and the player keeps its movie.
    controller->documentsOfClass<MVPVitrelCompDocument>()[0]->close();
    ASSERT_EQ(countCompositions(), 0u);
    controller->openRecentEntry(entry);
    EXPECT_EQ(countCompositions(), 1u);
    EXPECT_EQ(std::filesystem::path(player->movie()->fileName()).filename(), "a.mov");
    EXPECT_TRUE(openErrors.empty());
    // Gone bad: the alert, and the entry still moves to the top.
    controller->documentsOfClass<MVPVitrelCompDocument>()[0]->close();
    movara::test::writeFile(path, "not a composition");
    controller->noteNewRecentDocumentWithAttributes(fileEntry("/m/other.mov"));
    controller->openRecentEntry(entry);
    EXPECT_EQ(countCompositions(), 0u);
    ASSERT_EQ(openErrors.size(), 1u);
    EXPECT_EQ(openErrors[0].code(), MVPMovieErrorCouldNotOpenMovie);
    EXPECT_EQ(controller->recentDocuments()[0]["name"].stringValue(), "blue.vcomp");
}

TEST_F(RecentItemsTest, TheOpenPanelStartsBesideTheFrontMovie)
{
    auto panel = std::make_shared<HXOpenPanel>();
    controller->setupOpenPanel(*panel);
    EXPECT_TRUE(panel->allowsMultipleSelection());
    EXPECT_FALSE(panel->canChooseDirectories());
    EXPECT_TRUE(panel->canChooseFiles());
    openPlayer("a.mov");
    auto beside = std::make_shared<HXOpenPanel>();
    controller->setupOpenPanel(*beside);
    EXPECT_EQ(std::filesystem::path(beside->directory()), moviesFolder());
}

TEST_F(RecentItemsTest, EveryReadableMovieTypeOpensAsAMovie)
{
    EXPECT_EQ(controller->typeFromFileExtension("mov"), "Movie");
    EXPECT_EQ(controller->typeFromFileExtension("FLV"), MVPAnythingDocumentType);
    EXPECT_EQ(controller->typeFromFileExtension("txt"), "");
    EXPECT_EQ(controller->typeFromFileExtension(""), "");
}

} // namespace
