#pragma once
// Additions to HXScreen that presenting relies on: display numbers, mirroring (a display that shows
// another's picture), the primary (menu-bar) screen, and aliases of a reconfigured display. Screens are
// values compared by display number, so a screen stays "the same" across a re-read screen list.
#include "platform/winkit/screen.h"

#include <optional>

namespace HXScreen_Additions {

uint32_t screenNumber(const HXScreen& screen);
std::optional<HXScreen> screenWithScreenNumber(uint32_t number);
// The screen is among the current screens.
bool isActive(const HXScreen& screen);
// The screen mirrors another display.
bool isMirroring(const HXScreen& screen);
// The screen whose picture this one shows, or the screen itself.
HXScreen masterMirroredScreen(const HXScreen& screen);
// The screen is (or mirrors) the first screen, the one with the menu bar.
bool isPrimaryScreen(const HXScreen& screen);
// This screen's display number is in the other's alias list.
bool isAliasOfScreen(const HXScreen& screen, const HXScreen& other);

} // namespace HXScreen_Additions
