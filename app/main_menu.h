#pragma once
// The main menu, built in code: the application menu, File and Window. Every document window shows it
// above its content.
#include <memory>

class HXMenu;

namespace MVPMainMenu {
// Item indexes of the main menu.
inline constexpr long kApplicationMenuIndex = 0;
inline constexpr long kFileMenuIndex = 1;
inline constexpr long kWindowMenuIndex = 2;

std::shared_ptr<HXMenu> build();
} // namespace MVPMainMenu
