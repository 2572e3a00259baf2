#include "fullscreen/x11_display_services.h"

#include <algorithm>

std::map<uint32_t, HXX11Output> FSMatchScreensToOutputs(const std::vector<HXScreen>& screens,
    const std::vector<HXX11Output>& outputs, const std::map<uint32_t, std::string>& lastSeen)
{
    std::map<uint32_t, HXX11Output> matched;
    if (screens.empty() || outputs.empty())
        return matched;
    // SDL turns the X screen upside down around the first display's bottom edge.
    const double top = HXMaxY(outputs.front().frame);
    std::vector<bool> used(outputs.size(), false);
    for (const auto& screen : screens) {
        HXRect f = screen.frame();
        HXRect inX = HXMakeRect(f.origin.x, top - HXMaxY(f), f.size.width, f.size.height);
        for (size_t i = 0; i < outputs.size(); ++i) {
            if (!used[i] && outputs[i].frame == inX) {
                used[i] = true;
                matched[screen.screenNumber()] = outputs[i];
                break;
            }
        }
    }
    for (const auto& screen : screens) {
        auto seen = lastSeen.find(screen.screenNumber());
        if (matched.count(screen.screenNumber()) || seen == lastSeen.end())
            continue;
        for (size_t i = 0; i < outputs.size(); ++i) {
            if (!used[i] && outputs[i].name == seen->second) {
                used[i] = true;
                matched[screen.screenNumber()] = outputs[i];
                break;
            }
        }
    }
    return matched;
}

std::optional<uint32_t> FSMirroredDisplay(
    uint32_t display, const std::vector<HXScreen>& screens, const std::map<uint32_t, HXX11Output>& outputs)
{
    auto mine = outputs.find(display);
    if (mine == outputs.end())
        return std::nullopt;
    for (const auto& screen : screens) {
        if (screen.screenNumber() == display)
            return std::nullopt;
        auto other = outputs.find(screen.screenNumber());
        if (other != outputs.end() && other->second.frame.origin == mine->second.frame.origin)
            return screen.screenNumber();
    }
    return std::nullopt;
}

FSX11DisplayServices::FSX11DisplayServices(std::unique_ptr<HXX11Displays> displays)
    : _displays(std::move(displays))
{
}

std::map<uint32_t, HXX11Output> FSX11DisplayServices::outputsOfScreens()
{
    auto matched = FSMatchScreensToOutputs(HXScreen::screens(), _displays->outputs(), _lastSeen);
    for (const auto& [number, output] : matched)
        _lastSeen[number] = output.name;
    return matched;
}

std::optional<uint32_t> FSX11DisplayServices::mirroredDisplay(uint32_t display)
{
    return FSMirroredDisplay(display, HXScreen::screens(), outputsOfScreens());
}

std::vector<uint32_t> FSX11DisplayServices::aliasList(uint32_t display)
{
    auto seen = _lastSeen.find(display);
    std::string monitor = seen == _lastSeen.end() ? std::string() : seen->second;
    std::vector<uint32_t> aliases;
    if (monitor.empty())
        return aliases;
    for (const auto& [number, output] : outputsOfScreens())
        if (number != display && output.name == monitor)
            aliases.push_back(number);
    return aliases;
}
