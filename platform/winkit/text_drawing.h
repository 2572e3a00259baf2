#pragma once
// Text for the toolkit's own drawing (menu bar, menus, buttons, alerts): one line or a wrapped paragraph in
// the system font, drawn into the current graphics context whatever the view's flipping.
#include "platform/drawing/color.h"
#include "platform/drawing/geometry.h"

#include <string>

namespace winkit {

struct TextStyle {
    double size = 13;
    bool bold = false;
    HXColor color = HXColor::blackColor();
    bool centered = false;
    bool wrap = false;  // wrap at the rectangle's width
};

// The size the text takes (wrapped at `width` when style.wrap and width > 0).
HXSize measureText(const std::string& text, const TextStyle& style, double width = 0);
// Draws the text with its first line at the top of `rect` (vertically centred for one unwrapped line).
void drawText(const std::string& text, HXRect rect, const TextStyle& style);

}  // namespace winkit

namespace winkit {
// Fills `rect` (user space of the current context) with `color`, replacing what is there when `copy`.
void fillRect(HXRect rect, const HXColor& color, bool copy = false);
void strokeRect(HXRect rect, const HXColor& color, double width = 1);
}  // namespace winkit
