#pragma once
// FSPresentationManager: the one registry of the screens that present a movie now.
#include "platform/winkit/screen.h"

#include <vector>

class FSPresentationManager {
public:
    static FSPresentationManager& fsPresentationManager();

    // Every screen less those presenting a movie.
    std::vector<HXScreen> availableScreens() const;
    bool isPresenting() const { return !_presenting.empty(); }

    void beginPresentationOnScreen(const HXScreen& screen);
    void endPresentationOnScreen(const HXScreen& screen);

private:
    std::vector<HXScreen> _presenting;
};
