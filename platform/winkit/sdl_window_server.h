#pragma once
// The SDL2 backend: every visible HXWindow is a real window showing the pixels the toolkit drew with
// Cairo. Keyboard, mouse, wheel, window and drop events become HXEvents in the application's queue; they
// are polled from a run-loop event hook, so modal loops and tracking loops get them in any mode.
//
// Modifier keys: Ctrl is the Command key (the key of menu shortcuts on this desktop), Alt is Option and the
// Super key is Control. Screens come from SDL's displays, turned into the bottom-left global space.
#include "platform/winkit/event.h"
#include "platform/winkit/window_server.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class HXX11GestureSource;
struct SDL_Cursor;
struct SDL_Window;
union SDL_Event;

class HXSDLWindowServer : public HXWindowServer, public std::enable_shared_from_this<HXSDLWindowServer> {
public:
    // Null when there is no display (neither DISPLAY nor WAYLAND_DISPLAY set) or SDL's video cannot start.
    static std::shared_ptr<HXSDLWindowServer> create();
    ~HXSDLWindowServer() override;

    std::string name() const override { return "sdl"; }
    bool isHeadless() const override { return false; }
    std::vector<HXScreen> screens() override;
    std::unique_ptr<HXPlatformWindow> createWindow(HXWindow& window) override;
    HXPoint mouseLocation() override;
    uint32_t modifierFlags() override;
    void beep() override;
    void setCursorHidden(bool hidden) override;
    void setCursor(HXCursorType type) override;
    void setScreenSaverInhibited(bool inhibited) override;
    std::optional<std::string> clipboardText() override;
    void setClipboardText(const std::string& text) override;

    // Reads every pending SDL event into the application's queue; true when there was one.
    bool pumpEvents();
    // Touchpad gestures and fine scrolling from the X server's input extension (null where there is none).
    HXX11GestureSource* gestureSource() const { return _gestures.get(); }
    // The SDL window showing `window` (null when it is not on screen).
    SDL_Window* sdlWindowFor(const HXWindow& window) const;

    // Conversions between the global bottom-left space and SDL's top-left one.
    double primaryHeight();
    void registerWindow(uint32_t id, const std::shared_ptr<HXWindow>& window);
    void unregisterWindow(uint32_t id);

private:
    HXSDLWindowServer() = default;
    void handle(const SDL_Event& event);
    // The window under the pointer and where in it, for the touchpad gestures of x11_gestures.h.
    std::optional<std::pair<std::shared_ptr<HXWindow>, HXPoint>> pointerTarget() const;
    void flushPendingKey();
    std::shared_ptr<HXWindow> windowForID(uint32_t id) const;

    std::map<uint32_t, std::weak_ptr<HXWindow>> _windows;
    uint64_t _hook = 0;
    std::optional<HXEvent> _pendingKey;
    std::vector<std::string> _droppedFiles;
    int _beeps = 0;
    // The system cursors shown so far, by HXCursorType; freed with the server.
    std::map<int, SDL_Cursor*> _cursors;
    // On X: touchpad gestures and fine scrolling from the input extension (null where it is too old).
    std::unique_ptr<HXX11GestureSource> _gestures;
};
