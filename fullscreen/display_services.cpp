#include "fullscreen/display_services.h"

#include "fullscreen/sdl_display_services.h"
#include "fullscreen/x11_display_services.h"

#include "platform/winkit/application.h"
#include "platform/winkit/window_server.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace {

struct SharedServices {
    std::shared_ptr<FSDisplayServices> services;
    // Installed by a caller (tests): kept whatever the window backend.
    bool installed = false;
    bool sdl = false;
};

SharedServices& sharedServices()
{
    static SharedServices shared;
    return shared;
}

bool onSDLBackend()
{
    if (!HXApplication::hasSharedApplication())
        return false;
    auto server = HXApplication::sharedApplication()->windowServerPointer();
    return server && server->name() == "sdl";
}

// SDL's displays, with what the X server tells of mirroring where SDL runs on X.
std::shared_ptr<FSDisplayServices> sdlServices()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0)
        if (auto x11 = HXX11Displays::open())
            return std::make_shared<FSX11DisplayServices>(std::move(x11));
    return std::make_shared<FSSDLDisplayServices>();
}

} // namespace

FSDisplayServices& FSDisplayServices::shared()
{
    auto& shared = sharedServices();
    if (!shared.installed) {
        // The displays of the window backend in use: SDL's when the program shows real windows.
        bool sdl = onSDLBackend();
        if (!shared.services || sdl != shared.sdl) {
            shared.services = sdl ? sdlServices() : std::make_shared<FSDisplayServices>();
            shared.sdl = sdl;
        }
    }
    return *shared.services;
}

void FSDisplayServices::setShared(std::shared_ptr<FSDisplayServices> services)
{
    auto& shared = sharedServices();
    shared.installed = services != nullptr;
    shared.sdl = false;
    shared.services = services ? std::move(services) : nullptr;
}

void FSDisplayServices::reportUserActivity()
{
    if (auto app = HXApplication::sharedApplication()) {
        if (auto server = app->windowServerPointer())
            server->setScreenSaverInhibited(true);
    }
}

std::optional<FSDisplayMode> FSPresentationChooseDisplayMode(
    const std::vector<FSDisplayMode>& modes, const FSDisplayMode& current, uint32_t width, uint32_t height)
{
    std::optional<FSDisplayMode> best;
    auto rank = [&](const FSDisplayMode& m) {
        double refreshDistance = current.refreshRate > 0 ? std::fabs(m.refreshRate - current.refreshRate) : 0;
        return std::make_tuple(uint64_t(m.width) * m.height, refreshDistance, -m.refreshRate);
    };
    for (const auto& mode : modes) {
        if (mode.bitsPerPixel != current.bitsPerPixel || mode.width < width || mode.height < height)
            continue;
        if (!best || rank(mode) < rank(*best))
            best = mode;
    }
    return best;
}
