#include "fullscreen/presentation_manager.h"

#include <algorithm>

FSPresentationManager& FSPresentationManager::fsPresentationManager()
{
    static FSPresentationManager manager;
    return manager;
}

std::vector<HXScreen> FSPresentationManager::availableScreens() const
{
    std::vector<HXScreen> screens;
    for (const auto& screen : HXScreen::screens()) {
        if (std::find(_presenting.begin(), _presenting.end(), screen) == _presenting.end())
            screens.push_back(screen);
    }
    return screens;
}

void FSPresentationManager::beginPresentationOnScreen(const HXScreen& screen)
{
    _presenting.push_back(screen);
}

void FSPresentationManager::endPresentationOnScreen(const HXScreen& screen)
{
    auto it = std::find(_presenting.begin(), _presenting.end(), screen);
    if (it != _presenting.end())
        _presenting.erase(it);
}
