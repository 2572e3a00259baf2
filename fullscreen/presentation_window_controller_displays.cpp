// FSPresentationWindowController: capturing every display, and switching the presenting display's mode.
#include "fullscreen/display_services.h"
#include "fullscreen/presentation_window_controller.h"
#include "fullscreen/screen_additions.h"

#include <cmath>

bool FSPresentationWindowController::capturesAllDisplays()
{
    HXPropertyList value = presentationSettingForKey(FullscreenPreferenceCaptureAllDisplays);
    if (value.isNull()) {
        _settings.captureAllDisplays = false;
        return false;
    }
    return value.boolValue();
}

bool FSPresentationWindowController::wantsResolutionSwitch()
{
    auto screens = HXScreen::screens();
    if (!screens.empty() && screens.front().userSpaceScaleFactor() != 1.0)
        return false;
    return presentationSettingForKey(FSPresentationChangeResolution).boolValue();
}

void FSPresentationWindowController::switchResolutionToSize(HXSize size)
{
    _switchedResolution = false;
    auto screen = presentationScreenSetting();
    if (!screen)
        return;
    _saveDirectDisplayID = HXScreen_Additions::screenNumber(*screen);
    auto& services = FSDisplayServices::shared();
    _saveDisplayMode = services.currentMode(*_saveDirectDisplayID);
    if (!_saveDisplayMode)
        return;
    // Whole pixels; nothing below zero (and nothing that is not a number).
    auto pixels = [](double v) { return v > 0 && std::isfinite(v) ? uint32_t(std::min(v, 65535.0)) : 0u; };
    auto mode = FSPresentationChooseDisplayMode(services.availableModes(*_saveDirectDisplayID),
        *_saveDisplayMode, pixels(size.width), pixels(size.height));
    if (!mode || !services.switchToMode(*_saveDirectDisplayID, *mode))
        return;
    _switchedResolution = true;
}

void FSPresentationWindowController::restoreResolution()
{
    if (_saveDirectDisplayID && _saveDisplayMode)
        FSDisplayServices::shared().switchToMode(*_saveDirectDisplayID, *_saveDisplayMode);
    _switchedResolution = false;
}
