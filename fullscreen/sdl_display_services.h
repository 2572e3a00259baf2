#pragma once
// FSSDLDisplayServices: the displays as SDL2 sees them — their modes, and switching a display to another
// mode and back. SDL changes a display's mode only for a window that is full screen on it in that mode,
// so a switch is held by a small window of our own, full screen on that display, for as long as the mode
// is wanted; giving the display its own mode back lets that window go. Mirroring, aliases and virtual
// desktops are beyond SDL and answer "none" (on X, x11_display_services.h tells mirroring and aliases).
#include "fullscreen/display_services.h"

#include <map>

struct SDL_Window;

class FSSDLDisplayServices : public FSDisplayServices {
public:
    FSSDLDisplayServices() = default;
    ~FSSDLDisplayServices() override;

    std::optional<FSDisplayMode> currentMode(uint32_t display) override;
    std::vector<FSDisplayMode> availableModes(uint32_t display) override;
    bool switchToMode(uint32_t display, const FSDisplayMode& mode) override;

private:
    // The display's mode before we switched it, and the window holding the switch.
    struct Switch {
        FSDisplayMode original;
        SDL_Window* holder = nullptr;
    };
    std::map<uint32_t, Switch> _switches;
};
