#pragma once
// The player's application with its own document controller (recent items, favorites menu) and main menu.
#include "app_test_fixtures.h"

#include "app/document_controller.h"
#include "app/favorites_controller.h"
#include "app/main_menu.h"
#include "core/movie_error.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/open_panel.h"

#include <filesystem>
#include <string>
#include <vector>

namespace movara::apptest {

// A recent-items entry for a file (which need not exist).
inline MVPRecentDocuments::Entry fileEntry(const std::string& path)
{
    return MVPRecentDocuments::entryForDataReference(std::filesystem::path(path).filename().string(),
        MVDataReference::dataReferenceWithReferenceToFile(path));
}

class ShellTest : public PlayerTest {
protected:
    void SetUp() override
    {
        clearStoredLists();
        PlayerTest::SetUp();
        controller = std::make_shared<MVPMovieDocumentController>();
        controller->presentOpenError = [this](const HXError& error) { openErrors.push_back(error); };
        HXDocumentController::setSharedDocumentController(controller);
        MVPPlayerProgram::registerDocumentTypes(*controller);
        HXApp().setMainMenu(MVPMainMenu::build());
        setLimit(10);
    }

    void TearDown() override
    {
        PlayerTest::TearDown();
        MVPFavoritesController::resetFavoritesController();
        controller.reset();
        clearStoredLists();
    }

    static void clearStoredLists()
    {
        auto& defaults = HXUserDefaults::standardUserDefaults();
        defaults.removeObjectForKey(MVPRecentDocumentsUserDefault);
        defaults.removeObjectForKey(MVPFavoriteDocumentsUserDefault);
        defaults.removeObjectForKey(MVPFavoritesWindowLocation);
        defaults.removeObjectForKey(kFavoritesPanelHeight);
    }

    static void setLimit(int64_t limit, bool notify = true)
    {
        MVPPreferences::preferences().setPreference(
            HXPropertyList(limit), kGeneralPreferenceNumberOfRecentItems, notify);
    }

    static std::shared_ptr<HXMenu> fileSubmenu(const std::string& title)
    {
        auto file = HXApp().mainMenu()->itemAtIndex(MVPMainMenu::kFileMenuIndex)->submenu();
        return file->itemWithTitle(title)->submenu();
    }

    static std::vector<std::string> titlesOf(const HXMenu& menu)
    {
        std::vector<std::string> titles;
        for (auto& item : menu.itemArray())
            titles.push_back(item->isSeparatorItem() ? "---" : item->title());
        return titles;
    }

    // The "name" of each stored recent item, most recent first.
    static std::vector<std::string> storedRecentNames()
    {
        std::vector<std::string> names;
        for (auto& e : HXUserDefaults::standardUserDefaults().arrayForKey(MVPRecentDocumentsUserDefault))
            names.push_back(e["name"].stringValue());
        return names;
    }

    // Opens `name` (a fresh test movie) in a new player and answers its document.
    std::shared_ptr<MVPMovieDocument> openPlayer(const std::string& name)
    {
        delegate->openFiles({ movie(name) }, true);
        for (auto& doc : documents())
            if (doc->movie() && std::filesystem::path(doc->movie()->fileName()).filename() == name)
                return doc;
        return nullptr;
    }

    static std::string fileOf(const std::shared_ptr<MVPMovieDocument>& doc)
    {
        return doc && doc->movie() ? std::filesystem::path(doc->movie()->fileName()).filename().string()
                                   : std::string();
    }

    std::shared_ptr<MVPMovieDocumentController> controller;
    std::vector<HXError> openErrors;
};

} // namespace movara::apptest
