#include "platform/winkit/screen.h"

#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

std::vector<HXScreen> HXScreen::screens() { return HXApplication::sharedApplication()->windowServer().screens(); }

std::optional<HXScreen> HXScreen::mainScreen()
{
    auto app = HXApplication::sharedApplication();
    if (auto key = app->keyWindow()) {
        // The screen holding most of the key window.
        std::optional<HXScreen> best;
        double bestArea = 0;
        for (const auto& s : screens()) {
            HXRect common = HXIntersectionRect(s.frame(), key->frame());
            if (common.size.width * common.size.height > bestArea) {
                bestArea = common.size.width * common.size.height;
                best = s;
            }
        }
        if (best)
            return best;
    }
    auto all = screens();
    if (all.empty())
        return std::nullopt;
    return all.front();
}

std::optional<HXScreen> HXScreen::screenWithNumber(uint32_t number)
{
    for (const auto& s : screens()) {
        if (s.screenNumber() == number)
            return s;
    }
    return std::nullopt;
}

HXPropertyList::Dictionary HXScreen::deviceDescription() const
{
    return {
        { HXScreenNumber, HXPropertyList(int64_t(_number)) },
        { "HXDeviceSize", HXPropertyList(HXStringFromSize(_frame.size)) },
        { "HXDeviceBitsPerPixel", HXPropertyList(int64_t(_bitsPerPixel)) },
        { "HXDeviceIsScreen", HXPropertyList(true) },
    };
}
