#include "fullscreen/screen_additions.h"

#include "fullscreen/display_services.h"

#include <algorithm>

namespace HXScreen_Additions {

uint32_t screenNumber(const HXScreen& screen)
{
    return screen.screenNumber();
}

std::optional<HXScreen> screenWithScreenNumber(uint32_t number)
{
    return HXScreen::screenWithNumber(number);
}

bool isActive(const HXScreen& screen)
{
    auto screens = HXScreen::screens();
    return std::find(screens.begin(), screens.end(), screen) != screens.end();
}

bool isMirroring(const HXScreen& screen)
{
    auto mirrored = FSDisplayServices::shared().mirroredDisplay(screen.screenNumber());
    return mirrored && *mirrored != screen.screenNumber();
}

HXScreen masterMirroredScreen(const HXScreen& screen)
{
    auto mirrored = FSDisplayServices::shared().mirroredDisplay(screen.screenNumber());
    if (!mirrored || *mirrored == screen.screenNumber())
        return screen;
    return HXScreen::screenWithNumber(*mirrored).value_or(screen);
}

bool isPrimaryScreen(const HXScreen& screen)
{
    auto screens = HXScreen::screens();
    if (screens.empty())
        return false;
    return masterMirroredScreen(screen) == masterMirroredScreen(screens.front());
}

bool isAliasOfScreen(const HXScreen& screen, const HXScreen& other)
{
    auto aliases = FSDisplayServices::shared().aliasList(other.screenNumber());
    return std::find(aliases.begin(), aliases.end(), screen.screenNumber()) != aliases.end();
}

} // namespace HXScreen_Additions
