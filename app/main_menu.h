#pragma once
// The main menu, built in code: the application menu, File (with Open Recent and Favorites), Edit, View,
// Window and Help. Every document window shows it above its content. Items have no target: each action
// travels the responder chain to the first object that handles it (the front movie view, its window
// controller, its document, the application delegate, the document controller), so an item works as
// soon as the object that handles its action exists. Open items come in pairs: the plain item and its
// alternate (shown while Option is held) do the opposite of the "open in new players" preference.
#include <memory>

class HXMenu;
class MVPMovieDocumentController;

namespace MVPMainMenu {
// Item indexes of the main menu.
inline constexpr long kApplicationMenuIndex = 0;
inline constexpr long kFileMenuIndex = 1;
inline constexpr long kEditMenuIndex = 2;
inline constexpr long kViewMenuIndex = 3;
inline constexpr long kWindowMenuIndex = 4;
inline constexpr long kHelpMenuIndex = 5;

// Titles the program looks items up by (the Language and Subtitles submenus are titled by the movie
// document's localized texts).
inline constexpr const char* kOpenRecentTitle = "Open Recent";
inline constexpr const char* kFavoritesTitle = "Favorites";

// Builds the menu bar; the Open Recent, Favorites, Subtitles and Language submenus are handed to the shared
// document controller when it is the player's own.
std::shared_ptr<HXMenu> build();
// Hands the four submenus of `mainMenu` to `controller`.
void connectSubmenus(const std::shared_ptr<HXMenu>& mainMenu, MVPMovieDocumentController& controller);
} // namespace MVPMainMenu
