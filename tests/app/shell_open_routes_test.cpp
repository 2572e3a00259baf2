// Opening the same movie by each route: which of them bring an open document forward, replace the front
// player's movie, or open a new player — they differ on purpose.
#include "shell_fixtures.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/control.h"

#include <gtest/gtest.h>

namespace {

using namespace movara::apptest;

enum class Route { RecentMenu, Favorite, Script, DataReference, File };
enum class Outcome { Forward, Replace, ReplaceAfterAsking, New, Nothing };

struct Situation {
    const char* name;
    bool openElsewhere; // another player already shows the movie
    bool frontEdited; // the front player has unsaved edits
    bool newPlayers; // "GeneralPreferenceOpenMoviesInNewPlayers"
};

struct RouteCase {
    Route route;
    const char* routeName;
    Outcome outcomes[3]; // per situation below
};

const Situation kSituations[] = {
    { "open elsewhere, front unedited, same player", true, false, false },
    { "not open, front edited, same player", false, true, false },
    { "not open, front unedited, new players", false, false, true },
};

const RouteCase kRoutes[] = {
    { Route::RecentMenu, "recent item", { Outcome::Forward, Outcome::New, Outcome::New } },
    { Route::Favorite, "favorite", { Outcome::Replace, Outcome::New, Outcome::New } },
    { Route::Script, "script", { Outcome::Replace, Outcome::ReplaceAfterAsking, Outcome::New } },
    { Route::DataReference, "data reference",
        { Outcome::Nothing, Outcome::ReplaceAfterAsking, Outcome::New } },
    { Route::File, "file", { Outcome::Replace, Outcome::ReplaceAfterAsking, Outcome::New } },
};

class ShellOpenRoutesTest : public ShellTest {
protected:
    void open(Route route, const std::string& path, bool newPlayers)
    {
        auto reference = MVDataReference::dataReferenceWithReferenceToFile(path);
        switch (route) {
        case Route::RecentMenu:
            controller->openRecentEntry(MVPRecentDocuments::entryForDataReference("item.mov", reference));
            break;
        case Route::Favorite: {
            auto entry = MVPFavoritesController::entryForMovie("item.mov", reference);
            MVPFavoritesController::favoritesController().openFavoriteDocument(&entry);
            break;
        }
        case Route::Script:
            controller->openDataReference(reference);
            break;
        case Route::DataReference:
            delegate->createMovieDocumentWithDataRef(reference, newPlayers);
            break;
        case Route::File:
            delegate->openFiles({ path }, newPlayers);
            break;
        }
        for (int i = 0; i < 5; ++i)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01);
    }
};

TEST_F(ShellOpenRoutesTest, EachRouteKeepsItsOwnRules)
{
    for (const auto& route : kRoutes) {
        for (size_t s = 0; s < std::size(kSituations); ++s) {
            const auto& situation = kSituations[s];
            SCOPED_TRACE(std::string(route.routeName) + ": " + situation.name);
            std::shared_ptr<MVPMovieDocument> elsewhere;
            if (situation.openElsewhere)
                elsewhere = openPlayer("item.mov");
            auto front = openPlayer("a.mov");
            ASSERT_EQ(delegate->currentMovieDocumentExcludingContentGuide(), front);
            if (situation.frontEdited)
                front->updateChangeCount(HXChangeDone);
            setPreference(kGeneralPreferenceOpenMoviesInNewPlayers, situation.newPlayers);
            size_t before = documents().size();

            int asked = 0;
            HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
                ++asked;
                HXRunLoop::main().perform([&alert] { alert.buttons().at(2)->performClick(); }); // Don't Save
            });
            open(route.route, movie("item.mov"), situation.newPlayers);
            HXAlert::setAlertDidAppearHandler(nullptr);

            auto current = std::dynamic_pointer_cast<MVPMovieDocument>(controller->currentDocument());
            switch (route.outcomes[s]) {
            case Outcome::Forward:
                EXPECT_EQ(documents().size(), before);
                EXPECT_EQ(fileOf(front), "a.mov");
                EXPECT_EQ(current, elsewhere) << "the open document comes forward";
                break;
            case Outcome::Replace:
            case Outcome::ReplaceAfterAsking:
                EXPECT_EQ(documents().size(), before);
                EXPECT_EQ(fileOf(front), "item.mov");
                EXPECT_EQ(asked, route.outcomes[s] == Outcome::ReplaceAfterAsking ? 1 : 0);
                break;
            case Outcome::New:
                EXPECT_EQ(documents().size(), before + 1);
                EXPECT_EQ(fileOf(front), "a.mov");
                EXPECT_EQ(fileOf(documents().back()), "item.mov");
                EXPECT_FALSE(documents().back()->isDocumentEdited());
                break;
            case Outcome::Nothing:
                EXPECT_EQ(documents().size(), before);
                EXPECT_EQ(fileOf(front), "a.mov");
                EXPECT_EQ(current, front);
                break;
            }
            EXPECT_TRUE(openErrors.empty());
            TearDown();
            SetUp();
        }
    }
}

TEST_F(ShellOpenRoutesTest, ARecentItemIsNotedAgainAfterOpening)
{
    controller->noteNewRecentDocumentWithAttributes(fileEntry(movie("item.mov")));
    controller->noteNewRecentDocumentWithAttributes(fileEntry("/m/other.mov"));
    auto menu = fileSubmenu(MVPMainMenu::kOpenRecentTitle);
    menu->update();
    // The second item is item.mov; choosing it opens it and puts it first.
    auto index = menu->indexOfItemWithTitle("item.mov");
    ASSERT_GE(index, 0);
    menu->performActionForItemAtIndex(index);
    ASSERT_EQ(documents().size(), 1u);
    EXPECT_EQ(fileOf(documents()[0]), "item.mov");
    EXPECT_EQ(menu->itemAtIndex(0)->title(), "item.mov");
}

} // namespace
