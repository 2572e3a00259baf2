#pragma once
// Shaped windows on SDL: a window made shapeable when it is created with a shape, its shape set from a
// region, and, where the display cannot shape windows, the pixels outside the shape made transparent.
#include "platform/drawing/region.h"

#include <string>

struct SDL_Window;
struct SDL_Surface;

// A hidden, borderless window that can take a shape, or null where the display cannot shape windows.
SDL_Window* HXSDLCreateShapedWindow(
    const std::string& title, int x, int y, int width, int height, unsigned flags);
// Cuts a shapeable window of `width` × `height` pixels to `shape` (client pixels, y down). False when the
// window cannot take it (not shapeable, or its size is not yet the one given).
bool HXSDLSetWindowShape(SDL_Window* window, const HXRegion& shape, int width, int height);
// Clears to transparent every pixel of `surface` (32-bit with alpha) outside `shape`.
void HXSDLClearOutsideShape(SDL_Surface* surface, const HXRegion& shape);
