#include "platform/winkit/sdl_window_shape.h"

#include <SDL.h>
#include <SDL_shape.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

SDL_Window* HXSDLCreateShapedWindow(
    const std::string& title, int x, int y, int width, int height, unsigned flags)
{
    // The shaped window starts borderless and hidden wherever the display puts it; it goes to (x, y) when
    // it gets its first shape.
    return SDL_CreateShapedWindow(title.c_str(), unsigned(std::max(0, x)), unsigned(std::max(0, y)),
        unsigned(std::max(1, width)), unsigned(std::max(1, height)),
        flags | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
}

namespace {

// Calls `body` with each row span [x0, x1) of the shape inside a width × height surface.
template<typename Body> void forEachSpan(const HXRegion& shape, int width, int height, Body body)
{
    shape.enumerateRects([&](const HXRect& r) {
        int x0 = std::clamp(int(std::floor(r.origin.x)), 0, width);
        int x1 = std::clamp(int(std::ceil(HXMaxX(r))), 0, width);
        int y0 = std::clamp(int(std::floor(r.origin.y)), 0, height);
        int y1 = std::clamp(int(std::ceil(HXMaxY(r))), 0, height);
        for (int y = y0; y < y1; ++y)
            if (x1 > x0)
                body(y, x0, x1);
    });
}

} // namespace

bool HXSDLSetWindowShape(SDL_Window* window, const HXRegion& shape, int width, int height)
{
    if (!window || !SDL_IsShapedWindow(window) || width < 1 || height < 1)
        return false;
    SDL_Surface* mask = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!mask)
        return false;
    SDL_FillRect(mask, nullptr, 0);
    auto* pixels = static_cast<uint8_t*>(mask->pixels);
    forEachSpan(shape, width, height, [&](int y, int x0, int x1) {
        auto* row = reinterpret_cast<uint32_t*>(pixels + size_t(y) * size_t(mask->pitch));
        std::fill(row + x0, row + x1, 0xFFFFFFFFu);
    });
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 128;
    int result = SDL_SetWindowShape(window, mask, &mode);
    SDL_FreeSurface(mask);
    return result == 0;
}

void HXSDLClearOutsideShape(SDL_Surface* surface, const HXRegion& shape)
{
    if (!surface || surface->format->BytesPerPixel != 4)
        return;
    std::vector<uint8_t> inside(size_t(surface->w) * size_t(surface->h), 0);
    forEachSpan(shape, surface->w, surface->h, [&](int y, int x0, int x1) {
        std::fill(inside.begin() + y * surface->w + x0, inside.begin() + y * surface->w + x1, 1);
    });
    auto* pixels = static_cast<uint8_t*>(surface->pixels);
    for (int y = 0; y < surface->h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(pixels + size_t(y) * size_t(surface->pitch));
        for (int x = 0; x < surface->w; ++x)
            if (!inside[size_t(y) * size_t(surface->w) + size_t(x)])
                row[x] = 0;
    }
}
