#include "fullscreen/sdl_display_services.h"

#include <SDL2/SDL.h>

namespace {

// Our display numbers count from 1; SDL's display indexes from 0.
int displayIndex(uint32_t display)
{
    int index = int(display) - 1;
    return index >= 0 && index < SDL_GetNumVideoDisplays() ? index : -1;
}

FSDisplayMode modeFrom(const SDL_DisplayMode& m)
{
    return { uint32_t(m.w), uint32_t(m.h), int(SDL_BITSPERPIXEL(m.format)), double(m.refresh_rate) };
}

} // namespace

FSSDLDisplayServices::~FSSDLDisplayServices()
{
    for (auto& [display, held] : _switches) {
        if (held.holder)
            SDL_DestroyWindow(held.holder);
    }
}

std::optional<FSDisplayMode> FSSDLDisplayServices::currentMode(uint32_t display)
{
    int index = displayIndex(display);
    SDL_DisplayMode mode;
    if (index < 0 || SDL_GetCurrentDisplayMode(index, &mode) != 0)
        return std::nullopt;
    return modeFrom(mode);
}

std::vector<FSDisplayMode> FSSDLDisplayServices::availableModes(uint32_t display)
{
    std::vector<FSDisplayMode> modes;
    int index = displayIndex(display);
    if (index < 0)
        return modes;
    int count = SDL_GetNumDisplayModes(index);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(index, i, &mode) == 0)
            modes.push_back(modeFrom(mode));
    }
    return modes;
}

bool FSSDLDisplayServices::switchToMode(uint32_t display, const FSDisplayMode& wanted)
{
    int index = displayIndex(display);
    if (index < 0)
        return false;
    auto held = _switches.find(display);
    // Back to the display's own mode: the window holding the switch goes.
    if (held != _switches.end() && held->second.original == wanted) {
        if (held->second.holder)
            SDL_DestroyWindow(held->second.holder);
        _switches.erase(held);
        SDL_PumpEvents();
        return true;
    }
    SDL_DisplayMode target {};
    bool found = false;
    int count = SDL_GetNumDisplayModes(index);
    for (int i = 0; i < count && !found; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(index, i, &mode) == 0 && modeFrom(mode) == wanted) {
            target = mode;
            found = true;
        }
    }
    if (!found)
        return false;
    auto current = currentMode(display);
    if (!current)
        return false;
    if (held == _switches.end()) {
        // A switch away from the display's own mode holds on while other windows take the focus.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        SDL_Window* holder = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED_DISPLAY(index),
            SDL_WINDOWPOS_UNDEFINED_DISPLAY(index), 1, 1, SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR);
        if (!holder)
            return false;
        held = _switches.emplace(display, Switch { *current, holder }).first;
    }
    if (SDL_SetWindowDisplayMode(held->second.holder, &target) != 0
        || SDL_SetWindowFullscreen(held->second.holder, SDL_WINDOW_FULLSCREEN) != 0) {
        SDL_DestroyWindow(held->second.holder);
        _switches.erase(held);
        return false;
    }
    SDL_PumpEvents();
    return true;
}
