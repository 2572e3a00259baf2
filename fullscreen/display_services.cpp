#include "fullscreen/display_services.h"

#include "platform/winkit/application.h"
#include "platform/winkit/window_server.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

std::shared_ptr<FSDisplayServices>& sharedServices()
{
    static std::shared_ptr<FSDisplayServices> services = std::make_shared<FSDisplayServices>();
    return services;
}

} // namespace

FSDisplayServices& FSDisplayServices::shared()
{
    return *sharedServices();
}

void FSDisplayServices::setShared(std::shared_ptr<FSDisplayServices> services)
{
    sharedServices() = services ? std::move(services) : std::make_shared<FSDisplayServices>();
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
