#pragma once
// HXX11Displays: the X server's outputs (monitors) as its RandR extension describes them: each output's
// name and the part of the X screen it shows. Two outputs showing the same part from the same corner
// mirror each other, which SDL does not tell. The outputs come in the order the SDL backend numbers its
// screens: the primary output first, then the others in the server's order.
#include "platform/drawing/geometry.h"

#include <memory>
#include <string>
#include <vector>

struct HXX11Output {
    std::string name; // "HDMI-1"
    HXRect frame; // pixels of the X screen, origin at its top left
    bool primary = false;
};

class HXX11Displays {
public:
    // Null when there is no X display or it has no RandR 1.2.
    static std::unique_ptr<HXX11Displays> open();
    ~HXX11Displays();

    // The outputs that show something now (connected, with a picture).
    std::vector<HXX11Output> outputs();

    struct State;

private:
    HXX11Displays() = default;
    std::unique_ptr<State> _state;
};
