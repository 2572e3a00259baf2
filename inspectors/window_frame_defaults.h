#pragma once
// Window frames kept in the user defaults under a frame name, in the toolkit's own form: the entry
// "HXWindow Frame <name>" holds "x y w h sx sy sw sh" — the window's frame followed by the visible frame
// of its screen, each number rounded to a whole point.
#include "platform/drawing/geometry.h"

#include <optional>
#include <string>

class HXWindow;

namespace HXWindowFrameDefaults {

// The defaults key of a frame name ("HXWindow Frame <name>").
std::string keyForFrameName(const std::string& name);
// The window's frame and its screen's visible frame as the entry stores them.
std::string stringWithSavedFrame(const HXWindow& window);
// The frame an entry holds; none when the text is not four or eight numbers or the size is not positive.
std::optional<HXRect> frameFromString(const std::string& text);
// Writes the window's entry under `name`.
void saveFrameUsingName(const HXWindow& window, const std::string& name);
// Gives the window the frame stored under `name`; false (the window untouched) when there is no usable
// entry, or when the stored frame lies on none of the screens there are now. With `force` the size is
// taken as well for a window that cannot be resized.
bool setFrameUsingName(HXWindow& window, const std::string& name, bool force);

} // namespace HXWindowFrameDefaults
