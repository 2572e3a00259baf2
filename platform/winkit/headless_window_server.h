#pragma once
// The headless backend: no display. Screens are what the caller configures, the mouse is where the caller
// puts it, and events are injected (they go through the application's queue like real ones). Windows are
// drawn into their backing images only, which tests read back.
#include "platform/winkit/application.h"
#include "platform/winkit/window_server.h"

#include <memory>
#include <string>
#include <vector>

class HXHeadlessWindowServer : public HXWindowServer {
public:
    // One 1440×900 screen (visible frame without a 24-point panel at the top) unless told otherwise.
    HXHeadlessWindowServer();
    explicit HXHeadlessWindowServer(std::vector<HXScreen> screens);

    // Drops any shared application and makes a new one on a fresh headless server; returns the server.
    static std::shared_ptr<HXHeadlessWindowServer> install(std::vector<HXScreen> screens = {});

    std::string name() const override { return "headless"; }
    bool isHeadless() const override { return true; }
    std::vector<HXScreen> screens() override { return _screens; }
    // Replaces the screens and posts HXApplicationDidChangeScreenParametersNotification.
    void setScreens(std::vector<HXScreen> screens);
    std::unique_ptr<HXPlatformWindow> createWindow(HXWindow& window) override;

    HXPoint mouseLocation() override { return _mouse; }
    void setMouseLocation(HXPoint p) { _mouse = p; }
    uint32_t modifierFlags() override { return _modifiers; }
    void setModifierFlags(uint32_t flags) { _modifiers = flags; }
    void beep() override { ++_beeps; }
    int beepCount() const { return _beeps; }
    void setCursorHidden(bool hidden) override { _cursorHidden = hidden; }
    bool isCursorHidden() const { return _cursorHidden; }
    void setCursor(HXCursorType type) override { _cursor = type; }
    HXCursorType cursor() const { return _cursor; }
    void setScreenSaverInhibited(bool inhibited) override { _screenSaverInhibited = inhibited; }
    bool isScreenSaverInhibited() const { return _screenSaverInhibited; }
    std::optional<std::string> clipboardText() override { return _clipboard; }
    void setClipboardText(const std::string& text) override { _clipboard = text; }
    // How many times windows presented their pixels (screen updates that reached the "display").
    int presentCount() const { return _presents; }
    void notePresent() { ++_presents; }

    // Event injection: posts to the application's queue (processed by the next event loop, or at once with
    // HXApplication::processPendingEvents). Locations are in the window's base coordinates.
    static void postMouse(HXEventType type, const std::shared_ptr<HXWindow>& window, HXPoint location,
        uint32_t modifiers = 0, int clickCount = 1);
    // A click: down then up.
    static void postClick(const std::shared_ptr<HXWindow>& window, HXPoint location, uint32_t modifiers = 0);
    static void postKey(const std::shared_ptr<HXWindow>& window, const std::string& characters, uint32_t modifiers = 0,
        uint16_t keyCode = HXKeyCodeUnknown, HXEventType type = HXKeyDown);

private:
    std::vector<HXScreen> _screens;
    HXPoint _mouse;
    uint32_t _modifiers = 0;
    int _beeps = 0;
    bool _cursorHidden = false;
    HXCursorType _cursor = HXCursorType::Arrow;
    bool _screenSaverInhibited = false;
    std::optional<std::string> _clipboard;
    int _presents = 0;
};
