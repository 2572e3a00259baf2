// Validation of the application's menu items: which are enabled, how they are titled and which player the
// open items (and their Option alternates) choose, with no movie open and with movies open.
#include "shell_fixtures.h"

#include "platform/basekit/user_defaults.h"
#include "platform/winkit/open_panel.h"
#include "platform/winkit/save_panel.h"
#include "recording/capture_document.h"

#include <gtest/gtest.h>

namespace {

using namespace movara::apptest;

class MenuValidationTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        delegate->applicationWillFinishLaunching(HXApp());
    }

    // The item of the main menu with this action (the alternate one when asked), validated as when its
    // menu opens.
    static std::shared_ptr<HXMenuItem> validated(const std::string& action, bool alternate)
    {
        std::shared_ptr<HXMenuItem> found;
        std::function<void(const std::shared_ptr<HXMenu>&)> search
            = [&](const std::shared_ptr<HXMenu>& menu) {
                  // Validating may rebuild the menu (Open Recent, Favorites): look at what it holds
                  // afterwards.
                  menu->update();
                  auto items = menu->itemArray();
                  for (auto& item : items) {
                      if (found)
                          return;
                      if (item->hasSubmenu())
                          search(item->submenu());
                      else if (item->action().name() == action && item->isAlternate() == alternate)
                          found = item;
                  }
              };
        search(HXApp().mainMenu());
        return found;
    }
};

struct Expectation {
    bool enabled;
    long tag = -1; // -1: not checked
    const char* titleKey = nullptr; // localized title key, when the item is retitled
};

struct ItemCase {
    const char* action;
    bool alternate;
    Expectation nothingOpen; // no document, new players off
    Expectation moviesOpen; // a playing and a paused movie, new players on, a recording open
};

const ItemCase kItems[] = {
    { "openDocument:", false, { true, 0 }, { true, 1 } },
    { "openDocument:", true, { true, 1 }, { true, 0 } },
    { "openURL:", false, { true, 0 }, { true, 1 } },
    { "openURL:", true, { true, 1 }, { true, 0 } },
    { "openImageSequence:", false, { true, 0 }, { true, 1 } },
    { "openImageSequence:", true, { true, 1 }, { true, 0 } },
    { "import:", false, { true }, { true } },
    { "newDocumentWithTemplate:", false, { true }, { true } },
    { "newCaptureWithTemplate:", false, { true, 1 }, { false, 1 } },
    { "closeAll:", false, { true }, { true } },
    { "playPauseAll:", false, { false, -1, "mvpPlayAllMovies" }, { true, -1, "mvpStopAllMovies" } },
    { "gotoBeginningOfAll:", false, { false }, { true } },
    { "gotoEndOfAll:", false, { false }, { true } },
    { "stepBackwardAll:", false, { false }, { true } },
    { "stepForwardAll:", false, { false }, { true } },
    { "showMovieInspector:", false, { true, -1, "mvpShowMovieInspector" },
        { true, -1, "mvpShowMovieInspector" } },
    { "showAVControls:", false, { true, -1, "mvpShowAVControls" }, { true, -1, "mvpShowAVControls" } },
    // The front movie's own info panel.
    { "showMovieInfo:", false, { false, -1, "mvpShowMovieInfo" }, { true, -1, "mvpShowMovieInfo" } },
    { "addToFavorites:", false, { false }, { true } },
    { "showFavorites:", false, { true }, { true } },
    { "showContentGuide:", false, { true }, { true } },
    { "showApplicationPreferences:", false, { true }, { true } },
    { "updateExistingSoftware:", false, { false }, { false } },
    { "orderFrontAboutPanel:", false, { true }, { true } },
    { "clearRecentDocuments:", false, { false }, { true } },
    { "terminate:", false, { true }, { true } },
};

void check(const ItemCase& c, const Expectation& e, const std::shared_ptr<HXMenuItem>& item)
{
    ASSERT_NE(item, nullptr) << "no item for " << c.action;
    EXPECT_EQ(item->isEnabled(), e.enabled);
    if (e.tag >= 0) {
        EXPECT_EQ(item->tag(), e.tag);
    }
    if (e.titleKey) {
        EXPECT_EQ(item->title(), HXLocalizedString(e.titleKey));
    }
}

TEST_F(MenuValidationTest, EveryApplicationItemWithAndWithoutMovies)
{
    setPreference(kGeneralPreferenceOpenMoviesInNewPlayers, false);
    for (const auto& c : kItems) {
        SCOPED_TRACE(std::string("nothing open: ") + c.action + (c.alternate ? " (alternate)" : ""));
        check(c, c.nothingOpen, validated(c.action, c.alternate));
    }

    auto paused = openPlayer("a.mov");
    auto playing = openPlayer("b.mov");
    playing->movie()->play();
    auto recording = MVPCaptureDocument::initWithTemplateType(1);
    ASSERT_TRUE(delegate->recording());
    setPreference(kGeneralPreferenceOpenMoviesInNewPlayers, true);
    for (const auto& c : kItems) {
        SCOPED_TRACE(std::string("movies open: ") + c.action + (c.alternate ? " (alternate)" : ""));
        check(c, c.moviesOpen, validated(c.action, c.alternate));
    }
    recording->close();
    EXPECT_TRUE(validated("newCaptureWithTemplate:", false)->isEnabled()) << "enabled again once it closed";
    playing->movie()->stop();
}

TEST_F(MenuValidationTest, DocumentCommandsWaitForADocument)
{
    for (const char* action : { "cut:", "copy:", "paste:", "trim:", "saveDocument:", "halfSize:", "loop:" })
        EXPECT_FALSE(validated(action, false)->isEnabled()) << action;
}

TEST_F(MenuValidationTest, PlayAllStopsEveryMovieWhenOneIsPlaying)
{
    auto a = openPlayer("a.mov");
    auto b = openPlayer("b.mov");
    auto c = openPlayer("c.mov");
    b->movie()->play();
    delegate->playPauseAll();
    for (auto& doc : { a, b, c })
        EXPECT_EQ(doc->movie()->rate(), 0.0f);
    EXPECT_EQ(validated("playPauseAll:", false)->title(), HXLocalizedString("mvpPlayAllMovies"));
    // Command-Space does the same as the item: now every movie plays.
    auto space = HXEvent::keyEvent(HXKeyDown, {}, HXCommandKeyMask, 0, 0, " ", " ", false, HXKeyCodeSpace);
    EXPECT_TRUE(delegate->performKeyEquivalent(space));
    for (auto& doc : { a, b, c })
        EXPECT_NE(doc->movie()->rate(), 0.0f);
    EXPECT_EQ(validated("playPauseAll:", false)->title(), HXLocalizedString("mvpStopAllMovies"));
    EXPECT_FALSE(delegate->performKeyEquivalent(
        HXEvent::keyEvent(HXKeyDown, {}, 0, 0, 0, " ", " ", false, HXKeyCodeSpace)));
    delegate->playPauseAll();
}

TEST_F(MenuValidationTest, NewPlayerMakesAnUntitledMovie)
{
    auto item = validated("newDocumentWithTemplate:", false);
    item->menu()->performActionForItemAtIndex(item->menu()->indexOfItem(item));
    ASSERT_EQ(documents().size(), 1u);
    EXPECT_EQ(documents()[0]->fileType(), "Movie-Movara");
    EXPECT_FALSE(documents()[0]->isDocumentEdited());
}

// Open Image Sequence from its menu item: the open panel lists the still images libavcodec decodes (TIFF
// here), the settings give the frame rate (proposing the one chosen last), and the sequence opens as an
// unsaved movie; a cancel in the settings opens nothing.
TEST_F(MenuValidationTest, ImageSequenceTakesItsFrameRateFromItsSettings)
{
    movara::test::TempDir dir;
    ASSERT_EQ(movara::test::runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                  "testsrc=size=64x48:rate=10:duration=1", (dir / "shot%03d.tif").string() })
                  .status,
        0);
    HXUserDefaults::standardUserDefaults().removeObjectForKey("MVPImageSequenceFramesPerSecond");
    HXSavePanel::setPanelDidAppearHandler([&](HXSavePanel& p) {
        auto& open = static_cast<HXOpenPanel&>(p);
        open.setDirectory(dir.path().string());
        open.selectListedNames({ "shot001.tif" });
        open.ok();
    });
    struct Case {
        const char* name;
        std::optional<double> rate;
        double proposed;
        int64_t duration; // in 600ths of a second
    };
    const Case cases[] = {
        { "cancelled", std::nullopt, 30, 0 },
        { "five a second", 5, 30, 1200 },
        { "two seconds each", 0.5, 5, 12000 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        outside.imageSequenceRate = c.rate;
        outside.imageSequenceRatesProposed.clear();
        auto item = validated("openImageSequence:", false);
        item->setTag(1);
        delegate->openImageSequence(item.get());
        EXPECT_EQ(outside.imageSequenceRatesProposed, std::vector<double> { c.proposed });
        if (!c.rate) {
            EXPECT_TRUE(documents().empty());
            continue;
        }
        ASSERT_EQ(documents().size(), 1u);
        auto doc = documents()[0];
        EXPECT_EQ(doc->movie()->durationValue() * 600 / doc->movie()->timeScale(), c.duration);
        EXPECT_TRUE(doc->isDocumentEdited());
        doc->close();
    }
    HXSavePanel::setPanelDidAppearHandler(nullptr);
}

TEST_F(MenuValidationTest, TheFrontMovieFillsTheLanguageAndSubtitlesMenus)
{
    auto view = HXApp().mainMenu()->itemAtIndex(MVPMainMenu::kViewMenuIndex)->submenu();
    auto subtitles = view->itemWithTitle(HXLocalizedString("mvpSubtitlesMenu"))->submenu();
    auto languages = view->itemWithTitle(HXLocalizedString("mvpLanguageMenu"))->submenu();
    ASSERT_EQ(controller->subtitlesSubMenu(), subtitles);
    ASSERT_EQ(controller->chooseLanguageSubMenu(), languages);
    subtitles->addItemWithTitle("left over", HXSelector("setSubtitlesLanguage:"));
    subtitles->update();
    EXPECT_EQ(subtitles->numberOfItems(), 2) << "nothing refills it without a movie in front";
    openPlayer("a.mov");
    subtitles->update();
    languages->update();
    // A movie with one sound track and no subtitles: the Off item stays, the sound is the default language.
    EXPECT_EQ(titlesOf(*subtitles), (std::vector<std::string> { HXLocalizedString("mvpSubtitlesOff") }));
    EXPECT_EQ(titlesOf(*languages), (std::vector<std::string> { HXLocalizedString("mvpLanguageDefault") }));
}

} // namespace
