#pragma once
// FSX11DisplayServices: SDL's displays (their modes and mode switches, sdl_display_services.h) with what
// the X server's RandR extension adds: which display mirrors which (two monitors showing the same part of
// the screen from the same corner; the later one mirrors the earlier), and aliases: a display number that
// went away after a reconfiguration stands for the display that now shows the same monitor.
#include "fullscreen/sdl_display_services.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/x11_displays.h"

#include <map>
#include <memory>
#include <string>

class FSX11DisplayServices : public FSSDLDisplayServices {
public:
    // The X server's display configuration must be readable (HXX11Displays::open).
    explicit FSX11DisplayServices(std::unique_ptr<HXX11Displays> displays);

    std::optional<uint32_t> mirroredDisplay(uint32_t display) override;
    std::vector<uint32_t> aliasList(uint32_t display) override;

private:
    std::map<uint32_t, HXX11Output> outputsOfScreens();

    std::unique_ptr<HXX11Displays> _displays;
    // The monitor each display number was last seen showing; numbers that went away keep theirs.
    std::map<uint32_t, std::string> _lastSeen;
};

// The output each screen shows (screens in the global space, origin at the bottom left of the first;
// outputs in X pixels from the top left), by display number. Screens match outputs of the same place and
// size, the first screen being the first output. A screen that matches none (its place is told late after
// the monitors were rearranged) keeps the output it was last seen showing (`lastSeen`, output names by
// display number) while that one is still there.
std::map<uint32_t, HXX11Output> FSMatchScreensToOutputs(const std::vector<HXScreen>& screens,
    const std::vector<HXX11Output>& outputs, const std::map<uint32_t, std::string>& lastSeen = {});
// The display that `display` mirrors: the first screen before it whose output shows the same part from
// the same corner. Nothing for a display that mirrors none (or is the one mirrored).
std::optional<uint32_t> FSMirroredDisplay(
    uint32_t display, const std::vector<HXScreen>& screens, const std::map<uint32_t, HXX11Output>& outputs);
