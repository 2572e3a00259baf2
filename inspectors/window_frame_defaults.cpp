#include "inspectors/window_frame_defaults.h"

#include "platform/basekit/user_defaults.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

namespace HXWindowFrameDefaults {

std::string keyForFrameName(const std::string& name)
{
    return "HXWindow Frame " + name;
}

std::string stringWithSavedFrame(const HXWindow& window)
{
    HXRect f = window.frame();
    HXRect s = HXZeroRect;
    if (auto screen = window.screen())
        s = screen->visibleFrame();
    char text[256];
    std::snprintf(text, sizeof text, "%.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f", f.origin.x, f.origin.y,
        f.size.width, f.size.height, s.origin.x, s.origin.y, s.size.width, s.size.height);
    return text;
}

std::optional<HXRect> frameFromString(const std::string& text)
{
    std::istringstream in(text);
    std::vector<double> numbers;
    double n = 0;
    while (in >> n) {
        if (!std::isfinite(n))
            return std::nullopt;
        numbers.push_back(n);
    }
    // Anything but numbers (or a number cut short) leaves the stream failed before its end.
    if (!in.eof() || (numbers.size() != 4 && numbers.size() != 8))
        return std::nullopt;
    HXRect frame { { numbers[0], numbers[1] }, { numbers[2], numbers[3] } };
    if (frame.size.width <= 0 || frame.size.height <= 0)
        return std::nullopt;
    return frame;
}

void saveFrameUsingName(const HXWindow& window, const std::string& name)
{
    HXUserDefaults::standardUserDefaults().setString(stringWithSavedFrame(window), keyForFrameName(name));
}

bool setFrameUsingName(HXWindow& window, const std::string& name, bool force)
{
    auto frame = frameFromString(HXUserDefaults::standardUserDefaults().stringForKey(keyForFrameName(name)));
    if (!frame)
        return false;
    // A frame left on a screen that is gone would put the window out of reach.
    bool onScreen = false;
    for (const auto& screen : HXScreen::screens())
        onScreen = onScreen || HXIntersectsRect(*frame, screen.visibleFrame());
    if (!onScreen)
        return false;
    if (!force && !(window.styleMask() & HXResizableWindowMask))
        frame->size = window.frame().size;
    window.setFrame(*frame, true);
    return true;
}

} // namespace HXWindowFrameDefaults
